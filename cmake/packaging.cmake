# make package: a Debian package of the program and sonovert-encode, built with CPack. The
# dependencies come from dpkg-shlibdeps (dpkg-dev), not from a list kept by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sonovert)
# All four parts of the project version (CPack would take three).
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane Software")
set(CPACK_PACKAGE_CONTACT "Orvane Software <packages@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "WAVE to MP3 converter")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Sonovert converts a WAVE file into an MP3 file with libmp3lame, in a window or\n\
from a terminal with sonovert-encode, with constant or variable bit rate, mono,\n\
voice, quality, copyright and original flags, raw PCM input and ID3 tags.\n\
sonovert-encode also converts whole folders, several files at once.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orvane.example/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Wayland plugin: without it the window needs X11 (XWayland in a Wayland session).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)

# The package's copyright (machine-readable, GPL-3.0-or-later) and its changelog, where Debian
# looks for them; a native package's changelog is changelog.gz, compressed with gzip -9n so the
# same text gives the same bytes.
include(GNUInstallDirs)
set(debian_docs ${CMAKE_CURRENT_SOURCE_DIR}/resources/debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${debian_docs}/changelog)
execute_process(COMMAND gzip -9n -c ${debian_docs}/changelog
                OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${debian_docs}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sonovert)

# Only what the program and sonovert-encode install: tests, benchmark and fuzz targets install
# nothing. The package target builds those two alone (see the Makefile), so installing must
# not build everything first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

include(CPack)
