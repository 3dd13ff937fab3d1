#include "Platform/Graphics/Codecs/JpegCodec.h"

#include <bit>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE

#include <jerror.h>
#include <jpeglib.h>

namespace quillgate::graphics::codecs {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// the setjmp in Compress. Everything with a destructor lives outside that frame.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr) {}  // warnings and traces are not printed

// Compressed data goes straight into the output buffer, which grows by doubling.
struct Destination {
  jpeg_destination_mgr base;
  ByteBuffer* out;
  std::size_t start;  // where this image's bytes begin in *out
};

constexpr std::size_t kInitialChunk = 16 * 1024;

bool Grow(Destination& dest, std::size_t newSize) noexcept {
  try {
    dest.out->resize(newSize);
    return true;
  } catch (...) {
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  auto& dest = *reinterpret_cast<Destination*>(cinfo->dest);
  if (!Grow(dest, dest.start + kInitialChunk)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  dest.base.next_output_byte = dest.out->data() + dest.start;
  dest.base.free_in_buffer = kInitialChunk;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  // libjpeg calls this only when the buffer is completely full.
  auto& dest = *reinterpret_cast<Destination*>(cinfo->dest);
  const std::size_t used = dest.out->size();
  const std::size_t added = used - dest.start;
  if (!Grow(dest, used + added)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  dest.base.next_output_byte = dest.out->data() + used;
  dest.base.free_in_buffer = added;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto& dest = *reinterpret_cast<Destination*>(cinfo->dest);
  dest.out->resize(dest.out->size() - dest.base.free_in_buffer);  // shrinking never throws
}

struct Compressor {
  jpeg_compress_struct cinfo{};
  ErrorManager errors{};
  Destination dest{};
  ~Compressor() { jpeg_destroy_compress(&cinfo); }  // safe on a never-created (zeroed) object
};

// 0xAARRGGBB words as bytes in memory: libjpeg-turbo reads them in place, skipping the alpha
// byte, so no row is converted or copied.
constexpr J_COLOR_SPACE kPixelLayout =
    std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;

// Only trivially destructible locals here: a longjmp back into this frame skips destructors.
Status Compress(Compressor& c, const ArgbView& image, int quality) {
  if (setjmp(c.errors.jump)) {
    return c.errors.base.msg_code == JERR_OUT_OF_MEMORY ? Status::OutOfMemory
                                                        : Status::GenericError;
  }
  c.cinfo.err = jpeg_std_error(&c.errors.base);
  c.errors.base.error_exit = OnFatalError;
  c.errors.base.output_message = OnMessage;
  jpeg_create_compress(&c.cinfo);

  c.dest.base.init_destination = InitDestination;
  c.dest.base.empty_output_buffer = EmptyOutputBuffer;
  c.dest.base.term_destination = TermDestination;
  c.cinfo.dest = &c.dest.base;

  c.cinfo.image_width = static_cast<JDIMENSION>(image.width);
  c.cinfo.image_height = static_cast<JDIMENSION>(image.height);
  c.cinfo.input_components = 4;
  c.cinfo.in_color_space = kPixelLayout;
  jpeg_set_defaults(&c.cinfo);
  jpeg_set_quality(&c.cinfo, quality < 1 ? 1 : quality, TRUE);
  if (quality >= kFullChromaQuality) {
    for (int i = 0; i < c.cinfo.num_components; ++i) {
      c.cinfo.comp_info[i].h_samp_factor = 1;
      c.cinfo.comp_info[i].v_samp_factor = 1;
    }
  }
  c.cinfo.dct_method = JDCT_ISLOW;  // the fast integer DCT visibly loses detail at high quality

  jpeg_start_compress(&c.cinfo, TRUE);
  const std::uint32_t* pixels = image.pixels.data();
  const auto stride = static_cast<std::size_t>(image.width);
  constexpr JDIMENSION kBatch = 16;
  JSAMPROW rows[kBatch];
  while (c.cinfo.next_scanline < c.cinfo.image_height) {
    const JDIMENSION first = c.cinfo.next_scanline;
    JDIMENSION count = c.cinfo.image_height - first;
    if (count > kBatch) count = kBatch;
    for (JDIMENSION i = 0; i < count; ++i) {
      // libjpeg's row type is non-const but compression only reads it.
      rows[i] = reinterpret_cast<JSAMPROW>(const_cast<std::uint32_t*>(pixels + (first + i) * stride));
    }
    jpeg_write_scanlines(&c.cinfo, rows, count);
  }
  jpeg_finish_compress(&c.cinfo);
  return Status::Ok;
}

}  // namespace

Status EncodeJpeg(const ArgbView& image, int quality, ByteBuffer& out) noexcept {
  if (const Status s = CheckImage(image); s != Status::Ok) return s;
  if (quality < 0 || quality > 100) return Status::InvalidParameter;
  if (image.width > JPEG_MAX_DIMENSION || image.height > JPEG_MAX_DIMENSION) {
    return Status::ValueOverflow;
  }
  const std::size_t start = out.size();
  Compressor compressor;
  compressor.dest.out = &out;
  compressor.dest.start = start;
  const Status status = Compress(compressor, image, quality);
  if (status != Status::Ok) out.resize(start);
  return status;
}

}  // namespace quillgate::graphics::codecs
