# The registration and host-process tests load the built component library and run the
# built command against a temporary registry.
add_dependencies(${test_target} quillgate_module quillgate)
target_compile_definitions(${test_target} PRIVATE
  QUILLGATE_MODULE_PATH="$<TARGET_FILE:quillgate_module>"
  QUILLGATE_CLI_PATH="$<TARGET_FILE:quillgate>")
# Like the runtime's own tests, every test here runs against a private registry.
target_sources(${test_target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Platform/Com/PrivateRegistryTest.cpp)
