# The command-line tests run the real `quillgate` program.
add_dependencies(${test_target} quillgate)
target_compile_definitions(${test_target} PRIVATE QUILLGATE_CLI="$<TARGET_FILE:quillgate>")
