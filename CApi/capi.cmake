# ---- the public library: libquillgate.so.1 (target quillgate_capi) ----------------------
# The C API (quillgate/quillgate.h) over the engine's own drawing, styles, encoders and
# voice. Like the component module it holds the whole core, behind an export map that lets
# only the quillgate_* functions out. Built into its own folder: the component module is
# libquillgate.so too, and is loaded by path, never linked.
add_library(quillgate_capi SHARED ${CMAKE_SOURCE_DIR}/CApi/Generator.cpp)
add_library(Quillgate::quillgate ALIAS quillgate_capi)
set_target_properties(quillgate_capi PROPERTIES
  OUTPUT_NAME quillgate
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/CApi
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/CApi/exports.map)
target_compile_definitions(quillgate_capi PRIVATE QUILLGATE_BUILDING_LIBRARY QUILLGATE_VERSION="${PROJECT_VERSION}")
target_include_directories(quillgate_capi PUBLIC
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/CApi/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(quillgate_capi PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,quillgate_core>")
target_link_options(quillgate_capi PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/CApi/exports.map)
if(NOT QUILLGATE_SANITIZE AND NOT QUILLGATE_FUZZ)
  target_link_options(quillgate_capi PRIVATE -Wl,--no-undefined)
endif()
