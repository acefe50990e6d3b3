# The Debian package, made by 'cpack -G DEB' in a build configured with
# KORVEX_LAYOUT=installed and CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh):
# korvex_<version>_amd64.deb. Its dependencies are worked out from the
# programs by dpkg-shlibdeps; the Qt platform plugins are a plugin, not a
# linked library, so they are named here.
set(KORVEX_MAINTAINER "korvex maintainers <maintainers@korvex.example.org>" CACHE STRING
  "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "korvex maintainers")
set(CPACK_PACKAGE_CONTACT ${KORVEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "programmer for LED guardrail-tube controller cards")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KORVEX_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for libkorvex_api.so.1, and the ldconfig trigger that
# Debian wants of a package with a library in /usr/lib (CPack's own
# ldconfig calls in postinst and postrm stay; they do the same).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The extended description; CPack puts the summary before it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "korvex sets up the controller card of an LED guardrail-tube display over
an RS-232 serial line: it reads and changes the display settings, keeps a
library of one-row pictures captured from BMP or JPEG files, composes a
program of display effects and sends pictures, names and program to the
controller. The window is in simplified Chinese.
.
The package also holds korvex-cli, the same uploads for scripts,
korvex-sim, a simulated controller on a pseudo-terminal, and
libkorvex_api.so.1 with its header, the serial link to the card.")
include(CPack)
