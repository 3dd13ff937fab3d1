# The public library's tests link it as a program would, and build and run its examples.
target_link_libraries(${test_target} PRIVATE quillgate_capi)
target_sources(${test_target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Platform/Graphics/ImageDecoders.cpp)
add_executable(quillgate_example_c ${CMAKE_SOURCE_DIR}/CApi/examples/example.c)
target_link_libraries(quillgate_example_c PRIVATE quillgate_capi)
add_executable(quillgate_example_cpp ${CMAKE_SOURCE_DIR}/CApi/examples/example.cpp)
target_link_libraries(quillgate_example_cpp PRIVATE quillgate_capi)
add_dependencies(${test_target} quillgate quillgate_example_c quillgate_example_cpp)
target_compile_definitions(${test_target} PRIVATE
  QUILLGATE_CLI="$<TARGET_FILE:quillgate>"
  QUILLGATE_LIBRARY="$<TARGET_FILE:quillgate_capi>"
  QUILLGATE_HEADER="${CMAKE_SOURCE_DIR}/CApi/include/quillgate/quillgate.h"
  QUILLGATE_EXAMPLE_C="$<TARGET_FILE:quillgate_example_c>"
  QUILLGATE_EXAMPLE_CPP="$<TARGET_FILE:quillgate_example_cpp>"
  QUILLGATE_EXAMPLE_PY="${CMAKE_SOURCE_DIR}/CApi/examples/example.py")
