# Installing into a temporary prefix and making the Debian package need every installed
# target built first; the tests then build small consumers against the result.
target_sources(${test_target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Platform/Graphics/ImageDecoders.cpp)
add_dependencies(${test_target} quillgate quillgate_module quillgate_capi)
target_compile_definitions(${test_target} PRIVATE
  QUILLGATE_VERSION="${PROJECT_VERSION}"
  QUILLGATE_EXAMPLES_DIR="${CMAKE_SOURCE_DIR}/CApi/examples"
  QUILLGATE_BUILD_DIR="${CMAKE_BINARY_DIR}")
# The systemd unit and serve.env, started as systemd would start them.
add_test(NAME Install.SystemdUnit
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/Install/systemd-unit.py $<TARGET_FILE:quillgate>)
