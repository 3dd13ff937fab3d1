# A shared module with resources of its own, found through dlopen: the finder must look in
# the module it is given, tell types and ids apart, and return each resource's exact bytes.
# The committed sound data is compared with what the build compiled into the program.
set(fixtures ${CMAKE_CURRENT_SOURCE_DIR}/Platform/Resources/fixtures)
set(module ${test_target}_module)
add_library(${module} MODULE ${fixtures}/anchor.c)
quillgate_add_resource(${module} WAVE 7 ${fixtures}/five.bin)
quillgate_add_resource(${module} WAVEX 7 ${fixtures}/one.bin)
quillgate_add_resource(${module} WAV 9 ${fixtures}/empty.bin)
quillgate_add_resource(${module} WAVE 0 ${fixtures}/one.bin)
add_dependencies(${test_target} ${module})
target_compile_definitions(${test_target} PRIVATE
  RESOURCE_MODULE="$<TARGET_FILE:${module}>"
  SOUND_DATA_DIR="${CMAKE_SOURCE_DIR}/Sound/data")
