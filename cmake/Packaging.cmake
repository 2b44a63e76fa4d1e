# Debian packages: `cpack -G DEB` in a build folder makes the desk client's
# package and the stand-in's. The package always installs under /usr,
# whatever CMAKE_INSTALL_PREFIX a developer's `cmake --install` uses: every
# installed path is relative, and the launcher finds the program from its own place.
set(TQ3_PACKAGE_MAINTAINER "TQ3 MAX developers <sviluppo@tq3max.invalid>"
    CACHE STRING "Maintainer named in the Debian packages")

set(CPACK_PACKAGE_NAME tq3max-client)
set(CPACK_PACKAGE_VENDOR "TQ3 MAX")
set(CPACK_PACKAGE_CONTACT "${TQ3_PACKAGE_MAINTAINER}")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL client standin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries through dpkg-shlibdeps; then what is loaded at run
# time, which it cannot see: Qt's database drivers (SQLite, PostgreSQL) and
# its Italian translations. The xcb platform plugin comes with libqt6gui6,
# which shlibdeps finds. The windows are laid out for Tahoma's measures
# (fonts-wine has a compatible font); DejaVu Sans is the fallback.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(TQ3_QT_PLUGINS "libqt6sql6-sqlite, libqt6sql6-psql")

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME tq3max-client)
set(CPACK_DEBIAN_CLIENT_PACKAGE_DEPENDS
    "${TQ3_QT_PLUGINS}, qt6-translations-l10n, fonts-wine, fonts-dejavu-core")
set(CPACK_DEBIAN_CLIENT_DESCRIPTION "desk client of the TQ3 ticket queue system
The program of a service desk (Postazione) of an office that runs the
TQ3 ticket queue system. At each press of Avanti it calls the next
customer: it takes the next number of the chosen service, or the oldest
waiting kiosk ticket of the desk's services, records the call in the
archive folder shared with the server module and the other desks, announces
it to the server module over UDP and shows it on the console, in the desk's
call history and on a second monitor for the public.")

set(CPACK_DEBIAN_STANDIN_PACKAGE_NAME tq3-standin)
set(CPACK_DEBIAN_STANDIN_PACKAGE_DEPENDS "${TQ3_QT_PLUGINS}")
set(CPACK_DEBIAN_STANDIN_DESCRIPTION "stand-in for the TQ3 server module and ticket kiosk
Makes a server archive folder with sample services, draws kiosk tickets and
receives the desks' calls, so that TQ3 MAX desk clients can be tried and
tested on a machine without the real server module. Not needed at an office.")

include(CPack)
