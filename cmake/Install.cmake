# What `cmake --install build --prefix P` puts under P:
#   bin/quillgate                          the command
#   LIBDIR/libquillgate.so.1 (and .so)     the public C library
#   LIBDIR/quillgate/libquillgate.so       the component module, loaded by path, never linked
#   include/quillgate/quillgate.h, .hpp    the C API and its C++ wrapper
#   LIBDIR/cmake/Quillgate/                find_package(Quillgate) -> Quillgate::quillgate
#   LIBDIR/pkgconfig/quillgate.pc          pkg-config quillgate
#   share/doc/quillgate/README.md, copyright   the README and the licence (Debian's name for it)
# Every path is relative to the prefix, so an installation can be moved or made anywhere
# (--prefix ~/.local needs no root).
include(CMakePackageConfigHelpers)

install(TARGETS quillgate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quillgate_module LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/quillgate)

set_target_properties(quillgate_capi PROPERTIES EXPORT_NAME quillgate)
install(TARGETS quillgate_capi EXPORT QuillgateTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/CApi/include/quillgate DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(QUILLGATE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillgate)
install(EXPORT QuillgateTargets NAMESPACE Quillgate:: DESTINATION ${QUILLGATE_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QuillgateConfig.cmake.in
  ${CMAKE_BINARY_DIR}/generated/QuillgateConfig.cmake INSTALL_DESTINATION ${QUILLGATE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/QuillgateConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/generated/QuillgateConfig.cmake
              ${CMAKE_BINARY_DIR}/generated/QuillgateConfigVersion.cmake
        DESTINATION ${QUILLGATE_CMAKE_DIR})

# pkg-config finds the prefix from where the .pc file lies, so it too can move.
file(RELATIVE_PATH QUILLGATE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" QUILLGATE_PC_TO_PREFIX "${QUILLGATE_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/quillgate.pc.in ${CMAKE_BINARY_DIR}/generated/quillgate.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/quillgate.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillgate)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillgate RENAME copyright)

# The service's systemd unit and its default options. Both name absolute paths, so they are
# written when installing, for the prefix installed into: under /usr (the Debian package)
# the options go to /etc/quillgate, elsewhere to PREFIX/etc/quillgate.
install(CODE "
  set(QUILLGATE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(QUILLGATE_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATAROOTDIR}/doc/quillgate\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(QUILLGATE_CONFIG_DIR /etc/quillgate)
  else()
    set(QUILLGATE_CONFIG_DIR \"\${CMAKE_INSTALL_PREFIX}/etc/quillgate\")
  endif()
  # One file per destination, so that installations running at once never share it.
  string(MD5 destination \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(unit \"${CMAKE_BINARY_DIR}/generated/install/\${destination}/quillgate.service\")
  configure_file(\"${CMAKE_SOURCE_DIR}/Service/systemd/quillgate.service.in\" \"\${unit}\" @ONLY)
  file(INSTALL \"\${unit}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
  file(INSTALL \"${CMAKE_SOURCE_DIR}/Service/systemd/serve.env\" DESTINATION \"\${QUILLGATE_CONFIG_DIR}\")
")

include(cmake/Package.cmake)
