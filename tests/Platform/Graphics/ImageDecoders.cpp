#include "ImageDecoders.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace quillgate::graphics::testing {

namespace {

std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}
void JpegQuiet(j_common_ptr) {}

struct JpegReader {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  std::vector<std::uint8_t> row;  // outside RunJpeg's frame, which a longjmp may leave
  ~JpegReader() { jpeg_destroy_decompress(&cinfo); }
};

// Only trivially destructible locals: a longjmp back here skips destructors.
bool RunJpeg(JpegReader& r, std::span<const std::uint8_t> file, DecodedJpeg& out) {
  if (setjmp(r.errors.jump)) return false;
  r.cinfo.err = jpeg_std_error(&r.errors.base);
  r.errors.base.error_exit = JpegFail;
  r.errors.base.output_message = JpegQuiet;
  jpeg_create_decompress(&r.cinfo);
  jpeg_mem_src(&r.cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&r.cinfo, TRUE);
  out.components = r.cinfo.num_components;
  out.lumaHorizontalSampling = r.cinfo.comp_info[0].h_samp_factor;
  out.lumaVerticalSampling = r.cinfo.comp_info[0].v_samp_factor;
  r.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&r.cinfo);
  out.image.width = static_cast<int>(r.cinfo.output_width);
  out.image.height = static_cast<int>(r.cinfo.output_height);
  out.image.pixels.resize(static_cast<std::size_t>(out.image.width) * out.image.height);
  r.row.resize(static_cast<std::size_t>(r.cinfo.output_width) * 3);
  while (r.cinfo.output_scanline < r.cinfo.output_height) {
    const int y = static_cast<int>(r.cinfo.output_scanline);
    JSAMPROW rows[1] = {r.row.data()};
    jpeg_read_scanlines(&r.cinfo, rows, 1);
    for (int x = 0; x < out.image.width; ++x) {
      const std::uint8_t* p = r.row.data() + 3 * x;
      out.image.pixels[static_cast<std::size_t>(y) * out.image.width + x] = Argb(255, p[0], p[1], p[2]);
    }
  }
  jpeg_finish_decompress(&r.cinfo);
  return true;
}

// A rewound in-memory file holding `file`, for the readers that take a descriptor (and close it).
int MemoryFile(std::span<const std::uint8_t> file) {
  const int fd = memfd_create("decoded", 0);
  if (fd >= 0 && (write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()) ||
                  lseek(fd, 0, SEEK_SET) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

std::uint32_t Le32(std::span<const std::uint8_t> f, std::size_t at) {
  return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<std::uint32_t>(f[at + 3]) << 24);
}
std::uint16_t Le16(std::span<const std::uint8_t> f, std::size_t at) {
  return static_cast<std::uint16_t>(f[at] | (f[at + 1] << 8));
}

}  // namespace

std::optional<DecodedJpeg> DecodeJpeg(std::span<const std::uint8_t> file) {
  JpegReader reader;
  DecodedJpeg out;
  if (!RunJpeg(reader, file, out)) return std::nullopt;
  return out;
}

std::optional<DecodedImage> DecodePng(std::span<const std::uint8_t> file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return std::nullopt;
  image.format = PNG_FORMAT_BGRA;  // the bytes of 0xAARRGGBB on a little-endian machine
  DecodedImage out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  std::vector<std::uint8_t> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  out.pixels.resize(bytes.size() / 4);
  for (std::size_t i = 0; i < out.pixels.size(); ++i) {
    const std::uint8_t* p = bytes.data() + 4 * i;
    out.pixels[i] = Argb(p[3], p[2], p[1], p[0]);
  }
  return out;
}

std::optional<DecodedGif> DecodeGif(std::span<const std::uint8_t> file) {
  const int fd = MemoryFile(file);
  int error = 0;
  GifFileType* gif = fd < 0 ? nullptr : DGifOpenFileHandle(fd, &error);
  if (gif == nullptr) return std::nullopt;
  const auto close = [](GifFileType* g) { int e = 0; DGifCloseFile(g, &e); };
  std::unique_ptr<GifFileType, decltype(close)> owner(gif, close);
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount != 1) return std::nullopt;
  const SavedImage& frame = gif->SavedImages[0];
  const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
  if (map == nullptr) return std::nullopt;
  DecodedGif out;
  out.paletteSize = map->ColorCount;
  for (int i = 0; i < frame.ExtensionBlockCount; ++i) {
    const ExtensionBlock& block = frame.ExtensionBlocks[i];
    if (block.Function == GRAPHICS_EXT_FUNC_CODE && block.ByteCount >= 1 && (block.Bytes[0] & 1)) {
      out.hasTransparency = true;
    }
  }
  out.image.width = gif->SWidth;
  out.image.height = gif->SHeight;
  if (frame.ImageDesc.Width != gif->SWidth || frame.ImageDesc.Height != gif->SHeight) return std::nullopt;
  out.image.pixels.resize(static_cast<std::size_t>(out.image.width) * out.image.height);
  for (std::size_t i = 0; i < out.image.pixels.size(); ++i) {
    const int index = frame.RasterBits[i];
    if (index >= map->ColorCount) return std::nullopt;
    const GifColorType c = map->Colors[index];
    out.image.pixels[i] = Argb(255, c.Red, c.Green, c.Blue);
  }
  return out;
}

std::optional<DecodedTiff> DecodeTiff(std::span<const std::uint8_t> file) {
  const int fd = MemoryFile(file);
  if (fd < 0) return std::nullopt;
  // libtiff's own complaints about a damaged file go to stderr, beside the test's failure.
  TIFF* tif = TIFFFdOpen(fd, "test", "r");
  if (tif == nullptr) {
    close(fd);
    return std::nullopt;
  }
  std::unique_ptr<TIFF, void (*)(TIFF*)> owner(tif, TIFFClose);
  DecodedTiff out;
  std::uint32_t width = 0, height = 0;
  std::uint16_t compression = 0, bits = 0, samples = 0, extraCount = 0, config = 0;
  std::uint16_t* extra = nullptr;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &config);
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount == 1) {
    out.extraSampleKind = extra[0];
  }
  out.compression = compression;
  out.image.width = static_cast<int>(width);
  out.image.height = static_cast<int>(height);
  if (bits != 8 || samples != 4 || config != PLANARCONFIG_CONTIG) return out;  // no pixels
  std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tif)));
  out.image.pixels.resize(static_cast<std::size_t>(width) * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, row.data(), y, 0) != 1) return std::nullopt;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint8_t* p = row.data() + 4 * x;
      out.image.pixels[static_cast<std::size_t>(y) * width + x] = Argb(p[3], p[0], p[1], p[2]);
    }
  }
  return out;
}

std::optional<DecodedBmp> DecodeBmp(std::span<const std::uint8_t> file) {
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  DecodedBmp out;
  out.fileSizeField = Le32(file, 2);
  const std::uint32_t pixelOffset = Le32(file, 10);
  out.headerSize = Le32(file, 14);
  const auto width = static_cast<std::int32_t>(Le32(file, 18));
  const auto height = static_cast<std::int32_t>(Le32(file, 22));
  out.compression = Le32(file, 30);
  // Only the layout the encoder writes: 32 bits a pixel, rows bottom up (a positive height).
  if (Le16(file, 28) != 32 || width <= 0 || height <= 0) return std::nullopt;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  if (pixelOffset + rowBytes * height > file.size()) return std::nullopt;
  out.image.width = width;
  out.image.height = height;
  out.image.pixels.resize(static_cast<std::size_t>(width) * height);
  for (int r = 0; r < height; ++r) {
    const int y = height - 1 - r;
    for (int x = 0; x < width; ++x) {
      out.image.pixels[static_cast<std::size_t>(y) * width + x] =
          Le32(file, pixelOffset + r * rowBytes + 4 * static_cast<std::size_t>(x));
    }
  }
  return out;
}

}  // namespace quillgate::graphics::testing
