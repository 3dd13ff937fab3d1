# The style tests read their reference pictures with the graphics tests' PNG reader.
target_sources(${test_target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Platform/Graphics/ImageDecoders.cpp)
target_compile_definitions(${test_target} PRIVATE
  QUILLGATE_STYLE_REFERENCES="${CMAKE_CURRENT_SOURCE_DIR}/Styles/reference")
