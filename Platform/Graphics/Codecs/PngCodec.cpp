#include "Platform/Graphics/Codecs/PngCodec.h"

#include <bit>
#include <csetjmp>

#include <png.h>

namespace quillgate::graphics::codecs {

namespace {

// Compression settings, chosen by measurement on CAPTCHA-sized images (flat or hatched
// backgrounds, gradients, anti-aliased strokes, speckle noise). libpng's default (zlib level
// 6, adaptive filtering) spends several times the time for 10-25 % smaller files. Level 2
// with the Sub filter on every row is the fast setting that stays close on all of them
// (no filter is as good on flat grey images but doubles gradients). An 8 KiB window and
// memory level 7 cut zlib's working memory from about 256 KiB to under 100 KiB: for images
// this small, obtaining fresh memory costs more than the few percent of size it buys.
constexpr int kZlibLevel = 2;
constexpr int kRowFilters = PNG_FILTER_SUB;
constexpr int kZlibWindowBits = 13;
constexpr int kZlibMemoryLevel = 7;

struct WriteTarget {
  ByteBuffer* out;
  bool outOfMemory;
};

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

void WriteData(png_structp png, png_bytep data, png_size_t length) {
  auto* target = static_cast<WriteTarget*>(png_get_io_ptr(png));
  if (!AppendBytes(*target->out, data, length)) {
    target->outOfMemory = true;
    png_error(png, "out of memory");
  }
}

void Flush(png_structp) {}

struct Writer {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~Writer() { png_destroy_write_struct(&png, &info); }  // accepts null handles
};

// Only trivially destructible locals here: a longjmp back into this frame skips destructors.
Status Compress(Writer& w, const ArgbView& image, WriteTarget& target) {
  if (setjmp(png_jmpbuf(w.png))) {
    return target.outOfMemory ? Status::OutOfMemory : Status::GenericError;
  }
  png_set_write_fn(w.png, &target, WriteData, Flush);
  png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(w.png, kZlibLevel);
  png_set_filter(w.png, PNG_FILTER_TYPE_BASE, kRowFilters);
  png_set_compression_window_bits(w.png, kZlibWindowBits);
  png_set_compression_mem_level(w.png, kZlibMemoryLevel);
  png_write_info(w.png, w.info);
  // 0xAARRGGBB words are B,G,R,A bytes on little-endian machines and A,R,G,B on big-endian
  // ones; libpng reorders while writing, so rows are passed straight from the view.
  if constexpr (std::endian::native == std::endian::little) {
    png_set_bgr(w.png);
  } else {
    png_set_swap_alpha(w.png);
  }
  const std::uint32_t* pixels = image.pixels.data();
  const auto stride = static_cast<std::size_t>(image.width);
  for (int y = 0; y < image.height; ++y) {
    png_write_row(w.png, reinterpret_cast<png_const_bytep>(pixels + static_cast<std::size_t>(y) * stride));
  }
  png_write_end(w.png, nullptr);
  return Status::Ok;
}

}  // namespace

Status EncodePng(const ArgbView& image, ByteBuffer& out) noexcept {
  if (const Status s = CheckImage(image); s != Status::Ok) return s;
  if (static_cast<std::uint64_t>(image.width) > PNG_UINT_31_MAX) return Status::ValueOverflow;

  Writer writer;
  writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (writer.png == nullptr) return Status::OutOfMemory;
  writer.info = png_create_info_struct(writer.png);
  if (writer.info == nullptr) return Status::OutOfMemory;
  // libpng refuses images wider than a million pixels by default; the format allows more.
  png_set_user_limits(writer.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);

  const std::size_t start = out.size();
  WriteTarget target{&out, false};
  const Status status = Compress(writer, image, target);
  if (status != Status::Ok) out.resize(start);
  return status;
}

}  // namespace quillgate::graphics::codecs
