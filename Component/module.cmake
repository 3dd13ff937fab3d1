# ---- the component library: libquillgate.so ----------------------------------------------
# The in-process server that hosts load through the runtime (CoCreateInstance) and that
# `quillgate register` registers. It is the whole core library behind four exported C
# entry points: everything else is hidden by the compile-time visibility and by the export
# map, so `nm -D --defined-only libquillgate.so` lists only the Dll... functions.
# (The command-line tool is the target named `quillgate`, hence a different target name.)

# Hidden by default: the core is compiled once for executables and for this library, and
# only symbols marked for export (the Dll... functions) may leave the library.
set_target_properties(quillgate_core PROPERTIES
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)

set(QUILLGATE_MODULE_STUB ${CMAKE_BINARY_DIR}/quillgate_module_stub.cpp)
file(CONFIGURE OUTPUT ${QUILLGATE_MODULE_STUB}
     CONTENT "// The component library's code is all in quillgate_core.\n")
add_library(quillgate_module SHARED ${QUILLGATE_MODULE_STUB})
set_target_properties(quillgate_module PROPERTIES
  OUTPUT_NAME quillgate
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/Component/exports.map)
target_link_libraries(quillgate_module PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,quillgate_core>")
target_link_options(quillgate_module PRIVATE
  -Wl,--version-script=${CMAKE_SOURCE_DIR}/Component/exports.map)
if(NOT QUILLGATE_SANITIZE AND NOT QUILLGATE_FUZZ)
  # Every symbol resolved at link time (the sanitizer runtimes resolve theirs at load time).
  target_link_options(quillgate_module PRIVATE -Wl,--no-undefined)
endif()

# The registration tool and hosts find the library beside the command.
add_dependencies(quillgate quillgate_module)
