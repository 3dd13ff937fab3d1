
# ---- image encoders (Encoders.cpp, Codecs/) ----
pkg_check_modules(QG_ENC_JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(QG_ENC_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(QG_ENC_TIFF REQUIRED IMPORTED_TARGET libtiff-4)
find_package(GIF 5 REQUIRED)  # giflib ships no pkg-config file
target_link_libraries(quillgate_core PUBLIC
  PkgConfig::QG_ENC_JPEG PkgConfig::QG_ENC_PNG PkgConfig::QG_ENC_TIFF GIF::GIF)

# ---- drawing services (Bitmap, Graphics, paths, regions, fonts) ----
# Cairo rasterises, pixman (through cairo_region_t) holds regions, FreeType and fontconfig
# supply glyph outlines, Clipper offsets widened paths. None of them shows in our headers.
pkg_check_modules(QG_GFX_CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(QG_GFX_FREETYPE REQUIRED IMPORTED_TARGET freetype2)
pkg_check_modules(QG_GFX_FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(QG_GFX_POLYCLIPPING REQUIRED IMPORTED_TARGET polyclipping)
target_link_libraries(quillgate_core PRIVATE
  PkgConfig::QG_GFX_CAIRO PkgConfig::QG_GFX_FREETYPE PkgConfig::QG_GFX_FONTCONFIG
  PkgConfig::QG_GFX_POLYCLIPPING)
