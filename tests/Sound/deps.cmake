# Modules whose sound resources are damaged or incomplete, so the tests can watch the
# generator refuse them. Loaded at run time with dlopen; each carries only resources and an
# anchor symbol to find its image by.
set(fixtures ${CMAKE_CURRENT_SOURCE_DIR}/Sound/fixtures)
foreach(kind damaged_table short_header no_header)
  set(module ${test_target}_${kind})
  add_library(${module} MODULE ${fixtures}/anchor.c)
  add_dependencies(${test_target} ${module})
  string(TOUPPER ${kind} macro)
  target_compile_definitions(${test_target} PRIVATE SOUND_MODULE_${macro}="$<TARGET_FILE:${module}>")
endforeach()
quillgate_add_resource(${test_target}_damaged_table WAVE 203 ${CMAKE_SOURCE_DIR}/Sound/data/wave-header.bin)
quillgate_add_resource(${test_target}_damaged_table WAVE 204 ${fixtures}/damaged-table.bin)
quillgate_add_resource(${test_target}_damaged_table WAVE 206 ${fixtures}/short-samples.raw)
quillgate_add_resource(${test_target}_short_header WAVE 203 ${fixtures}/short-header.bin)
quillgate_add_resource(${test_target}_short_header WAVE 204 ${fixtures}/damaged-table.bin)
quillgate_add_resource(${test_target}_short_header WAVE 206 ${fixtures}/short-samples.raw)
quillgate_add_resource(${test_target}_no_header WAVE 204 ${fixtures}/damaged-table.bin)
quillgate_add_resource(${test_target}_no_header WAVE 206 ${fixtures}/short-samples.raw)
