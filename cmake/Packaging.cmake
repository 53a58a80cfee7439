# Install tree and packages.
#
# Linux and the other POSIX desktops (relocatable; the prefix can move):
#   bin/vorthane-run                     the command users type: a launcher
#   libexec/vorthane-run/vorthane-run    the game itself, out of PATH
#   libexec/vorthane-run/launch          starts it in its asset directory
#   share/vorthane-run/                  the three assets
#   share/applications, share/icons      desktop menu entry and icon
#   share/man/man6, share/doc            manual page, copyright, changelog
# Windows:
#   vorthane-run.exe, assetTrial.exe, TheHestrel'sHolyLauncher.bat, assets/ and
#   licenses/ side by side.

include(GNUInstallDirs)

set(staged_assets
    ${VORTHANE_STAGED_ASSETS}/VorthaneBoi.png
    ${VORTHANE_STAGED_ASSETS}/robotToFix.png
    ${VORTHANE_STAGED_ASSETS}/chintzy.ttf)

if(WIN32)
    install(TARGETS vorthane-run assetTrial RUNTIME DESTINATION .)
    install(FILES "packaging/TheHestrel'sHolyLauncher.bat" DESTINATION .)
    install(FILES ${staged_assets} DESTINATION assets)
    install(FILES packaging/copyright DESTINATION . RENAME COPYRIGHT.txt)
    # The licences of what the programs contain, named by whoever builds
    # them (scripts/build-windows: SFML, FreeType, the MinGW-w64 runtime).
    set(VORTHANE_THIRD_PARTY_LICENSES "" CACHE STRING "Licence files of the libraries linked in, for licenses/")
    install(FILES ${VORTHANE_THIRD_PARTY_LICENSES} DESTINATION licenses)
    return()
endif()

set(game_libexec ${CMAKE_INSTALL_LIBEXECDIR}/vorthane-run)
install(TARGETS vorthane-run RUNTIME DESTINATION ${game_libexec})
install(PROGRAMS scripts/launch DESTINATION ${game_libexec})
install(PROGRAMS packaging/vorthane-run DESTINATION ${CMAKE_INSTALL_BINDIR})
# Debian keeps games in games/; a relative link keeps the tree relocatable.
install(CODE [[
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/games")
    file(CREATE_LINK ../bin/vorthane-run "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/games/vorthane-run" SYMBOLIC)
]])
install(FILES ${staged_assets} DESTINATION ${CMAKE_INSTALL_DATADIR}/vorthane-run)
install(FILES packaging/vorthane-run.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Icons: the Adept's drawing at the sizes desktops look for.
foreach(size 64 128 256)
    math(EXPR icon_scale "${size} / 32")
    set(icon ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}/vorthane-run.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}
        COMMAND pixelart ${CMAKE_CURRENT_SOURCE_DIR}/assets/VorthaneBoi.art ${icon} ${icon_scale}
        DEPENDS pixelart ${CMAKE_CURRENT_SOURCE_DIR}/assets/VorthaneBoi.art
        VERBATIM)
    list(APPEND icons ${icon})
    install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian wants compressed manual pages and changelog.
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/vorthane-run.6.gz)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${man_page}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/vorthane-run.6 > ${man_page}
    DEPENDS packaging/vorthane-run.6)
add_custom_command(OUTPUT ${changelog}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog > ${changelog}
    DEPENDS packaging/changelog)
add_custom_target(vorthane-install-extras ALL DEPENDS ${icons} ${man_page} ${changelog})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES packaging/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vorthane-run)

# ---- Packages: cpack in the build directory gives a .deb and a .tar.gz --------

set(CPACK_PACKAGE_NAME vorthane-run)
set(CPACK_PACKAGE_VENDOR "The Vorthane Run! developers")
set(CPACK_PACKAGE_CONTACT "The Vorthane Run! developers <vorthane-run@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pixel-art scene where a tech-adept follows the mouse")
set(CPACK_PACKAGE_DESCRIPTION [[
Vorthane Run! opens a borderless 1920x1080 window in which the Adept,
a hooded tech-adept, takes the place of the mouse cursor while a broken
robot waits for repair. Backspace ends the game.]])
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/\\\\.git/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)      # libsfml-graphics2.5 (2.6 on Debian 13) and friends
# xmessage shows a failure when the game was started from the menu, and
# xdpyinfo checks the display; zenity or kdialog make a nicer dialog.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "x11-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity | kdialog, xvfb, xauth")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
