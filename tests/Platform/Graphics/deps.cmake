# The rasterisers' own helpers are tested directly, and they speak Cairo's types.
target_link_libraries(${test_target} PRIVATE PkgConfig::QG_GFX_CAIRO)
