# SFML 3's version file: only a request for 3.x is compatible.
set(PACKAGE_VERSION 3.0.1)
if(PACKAGE_FIND_VERSION_MAJOR EQUAL 3)
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
else()
    set(PACKAGE_VERSION_COMPATIBLE FALSE)
endif()
