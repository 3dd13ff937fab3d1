# The Debian package: `cpack -G DEB` (or `make package`) in a build folder makes
# quillgate_<version>_amd64.deb holding what `cmake --install` installs, under /usr, with
# its dependencies found by dpkg-shlibdeps and /etc/quillgate/serve.env kept across upgrades.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillgate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CAPTCHA images, sounds and an HTTP service that keeps bots out")
set(CPACK_PACKAGE_DESCRIPTION "Quillgate makes a random code, draws it in one of 50 text styles \
(JPEG, PNG, GIF, BMP, TIFF), speaks it as WAV and validates answers through the SHA-512 of the \
code. The package holds the quillgate command (and its HTTP service, with a systemd unit), the \
component module, and the C library with its headers, CMake package and pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# The unit and the options are written for the prefix installed into, not for the staging
# folder: the package's files are installed into a DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quillgate developers")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
file(WRITE ${CMAKE_BINARY_DIR}/generated/debian/conffiles "/etc/quillgate/serve.env\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/generated/debian/conffiles)
set(CPACK_STRIP_FILES ON)
include(CPack)
