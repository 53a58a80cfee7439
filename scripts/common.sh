# Shared by ./run, ./test and CI. Source it; it defines:
#   project_root           the repository's top directory
#   ensure_packages USE..  installs the packages that USE needs (see
#                          scripts/debian-packages) when any is missing
#   build_game [CMAKE-ARG..] configures build/ and builds everything in it
#   configure_build [ARG..] configures build/ only
#   build_only TARGET       builds one target (and what it needs) in build/
# They work on build/ unless build_dir names another directory.

project_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

ensure_packages() {
    local wanted=() name uses use
    while read -r name uses; do
        case "$name" in ''|'#'*) continue ;; esac
        for use in "$@"; do
            case " $uses " in *" $use "*) wanted+=("$name"); break ;; esac
        done
    done < "$project_root/scripts/debian-packages"

    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "Not a Debian-based system: make sure these are installed: ${wanted[*]}" >&2
        return 0
    fi
    local missing=()
    for name in "${wanted[@]}"; do
        [ "$(dpkg-query -W -f='${db:Status-Status}' "$name" 2>/dev/null)" = installed ] || missing+=("$name")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages (${missing[*]}) and no sudo: install them as root first." >&2
            return 1
        fi
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

configure_build() {
    local ci=()
    [ "${CI:-}" = true ] && ci=(-DVORTHANE_WARNINGS_AS_ERRORS=ON)
    cmake -S "$project_root" -B "${build_dir:-$project_root/build}" "${ci[@]}" "$@" >/dev/null
}

build_only() {
    cmake --build "${build_dir:-$project_root/build}" --parallel "$(nproc 2>/dev/null || echo 2)" --target "$1"
}

build_game() {
    configure_build "$@"
    build_only all
}
