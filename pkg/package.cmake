# SPDX-License-Identifier: MIT
# The Debian package, made by `cpack -G DEB` in a build folder: the program,
# stripped, its manual page, and the copyright file and changelog Debian
# asks of every package, which pkg/debian-docs.cmake writes while cpack
# stages the files.  dpkg-shlibdeps reads the dependencies off the binary.
# The maintainer is whoever builds the package:
#   cmake -DQUORVIN_MAINTAINER="Name <address>" ...
set(QUORVIN_MAINTAINER "" CACHE STRING "The Debian package's maintainer, as \"Name <address>\"")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvin1b)
set(CPACK_PACKAGE_VENDOR "The quorvin1b developers")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVIN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "text picture of the loudness of a WAV file")
set(CPACK_PACKAGE_DESCRIPTION "\
quorvin1b prints, for a stretch of a WAV file, one line per run of frames:\n\
a time label and a row of dots as long as the run's mean loudness, then\n\
the display threshold and the peak level of each channel in dB. It reads\n\
8-bit, mu-law, A-law, 16- to 64-bit integer, float and double samples,\n\
from files and from pipes.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_INSTALL_SCRIPTS ${PROJECT_SOURCE_DIR}/pkg/debian-docs.cmake)
set(CPACK_QUORVIN_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
