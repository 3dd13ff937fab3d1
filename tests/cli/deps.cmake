# The command-line tests run the real `quillgate` program.
add_dependencies(${test_target} quillgate quillgate_module)
target_compile_definitions(${test_target} PRIVATE QUILLGATE_CLI="$<TARGET_FILE:quillgate>"
  QUILLGATE_MODULE_PATH="$<TARGET_FILE:quillgate_module>")
target_compile_definitions(${test_target} PRIVATE QUILLGATE_README="${CMAKE_SOURCE_DIR}/README.md")

# A library preloaded into the command to log the order of its writes, syncs and renames.
add_library(quillgate_call_order_log MODULE ${CMAKE_CURRENT_LIST_DIR}/preload/CallOrderLog.c)
target_link_libraries(quillgate_call_order_log PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(${test_target} quillgate_call_order_log)
target_compile_definitions(${test_target} PRIVATE
  QUILLGATE_CALL_ORDER_LOG="$<TARGET_FILE:quillgate_call_order_log>")

# The site tests read what `site new` writes with the server's own sites file reader.
target_link_libraries(${test_target} PRIVATE quillgate_service)
