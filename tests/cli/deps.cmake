# The command-line tests run the real `quillgate` program.
add_dependencies(${test_target} quillgate quillgate_module)
target_compile_definitions(${test_target} PRIVATE QUILLGATE_CLI="$<TARGET_FILE:quillgate>"
  QUILLGATE_MODULE_PATH="$<TARGET_FILE:quillgate_module>")
target_compile_definitions(${test_target} PRIVATE QUILLGATE_README="${CMAKE_SOURCE_DIR}/README.md")
