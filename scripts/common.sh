# Shared by ./run, ./test and CI. Source it; it defines:
#   project_root           the repository's top directory
#   ensure_packages USE..  installs the packages that USE needs (see
#                          scripts/debian-packages) when any is missing
#   build_game [CMAKE-ARG..] configures build/ and builds everything in it
#   configure_build [ARG..] configures build/ only
#   build_only TARGET       builds one target (and what it needs) in build/
#   apt_mirrors            prints the Debian mirror (and security mirror) apt uses
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

# Prints "MAIN-URI SECURITY-URI": the Debian mirror this machine's apt uses
# for its own release, read from its sources (one-line and deb822 formats);
# the security URI may be "-".
apt_mirrors() {
    local host_codename
    host_codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk -v want="$host_codename" '
            function consider(types, uris, suites,   n, i, s) {
                if (types !~ /(^| )deb( |$)/) return
                n = split(suites, s, " ")
                for (i = 1; i <= n; i++) {
                    if (s[i] == want && main == "") main = uris
                    if (s[i] == want "-security" && security == "") security = uris
                }
            }
            function flush() { if (uris != "") consider(types, uris, suites); types = uris = suites = "" }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            /^Types:/  { sub(/^Types:[ \t]*/, "");  types = $0; next }
            /^URIs:/   { sub(/^URIs:[ \t]*/, "");   split($0, u, " "); uris = u[1]; next }
            /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0; next }
            /^deb[ \t]/ {
                flush()
                i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                consider("deb", $i, $(i + 1))
                next
            }
            END { flush(); if (main != "") print main, (security == "" ? "-" : security) }'
}
