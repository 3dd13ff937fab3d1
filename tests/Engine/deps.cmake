# The pipeline's images are read back with the graphics tests' reference decoders.
target_sources(${test_target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Platform/Graphics/ImageDecoders.cpp)
