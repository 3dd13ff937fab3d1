#include "Platform/Graphics/Codecs/GifCodec.h"

#include "Platform/Graphics/Codecs/ColorQuantizer.h"

#include <limits>
#include <memory>

#include <gif_lib.h>

namespace quillgate::graphics::codecs {

namespace {

struct WriteTarget {
  ByteBuffer* out;
  bool outOfMemory;
};

int WriteData(GifFileType* gif, const GifByteType* data, int length) {
  auto* target = static_cast<WriteTarget*>(gif->UserData);
  if (length <= 0) return 0;
  if (!AppendBytes(*target->out, data, static_cast<std::size_t>(length))) {
    target->outOfMemory = true;
    return 0;  // giflib takes a short write as a write error
  }
  return length;
}

// EGifCloseFile writes the trailer and frees the handle, also after a failed write.
struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    EGifCloseFile(gif, &error);
  }
};

int BitsFor(std::size_t colors) {
  int bits = 1;  // GIF palettes hold 2^bits entries, at least 2
  while ((std::size_t{1} << bits) < colors) ++bits;
  return bits;
}

Status Write(const ArgbView& image, IndexedImage& indexed, WriteTarget& target) {
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&target, WriteData, &error));
  if (!gif) return error == E_GIF_ERR_NOT_ENOUGH_MEM ? Status::OutOfMemory : Status::GenericError;

  const int bits = BitsFor(indexed.palette.size());
  GifColorType colors[256] = {};
  for (std::size_t i = 0; i < indexed.palette.size(); ++i) {
    const std::uint32_t rgb = indexed.palette[i];
    colors[i] = GifColorType{RedOf(rgb), GreenOf(rgb), BlueOf(rgb)};
  }
  // The screen descriptor copies the map, so it can live here.
  ColorMapObject map{};
  map.ColorCount = 1 << bits;
  map.BitsPerPixel = bits;
  map.SortFlag = false;
  map.Colors = colors;

  const auto failed = [&] {
    return target.outOfMemory || gif->Error == E_GIF_ERR_NOT_ENOUGH_MEM ? Status::OutOfMemory
                                                                          : Status::GenericError;
  };
  if (EGifPutScreenDesc(gif.get(), image.width, image.height, bits, 0, &map) == GIF_ERROR) return failed();
  if (EGifPutImageDesc(gif.get(), 0, 0, image.width, image.height, false, nullptr) == GIF_ERROR) return failed();
  // Writable: giflib masks each row's indices to the palette's bit depth in place.
  GifPixelType* rows = indexed.indices.data();
  const auto stride = static_cast<std::size_t>(image.width);
  for (int y = 0; y < image.height; ++y) {
    if (EGifPutLine(gif.get(), rows + static_cast<std::size_t>(y) * stride, image.width) == GIF_ERROR) {
      return failed();
    }
  }
  GifFileType* handle = gif.release();
  if (EGifCloseFile(handle, &error) == GIF_ERROR) {
    return target.outOfMemory || error == E_GIF_ERR_NOT_ENOUGH_MEM ? Status::OutOfMemory
                                                                   : Status::GenericError;
  }
  return target.outOfMemory ? Status::OutOfMemory : Status::Ok;
}

}  // namespace

Status EncodeGif(const ArgbView& image, ByteBuffer& out) noexcept {
  if (const Status s = CheckImage(image); s != Status::Ok) return s;
  // Logical screen and frame sizes are 16-bit fields.
  if (image.width > std::numeric_limits<std::uint16_t>::max() ||
      image.height > std::numeric_limits<std::uint16_t>::max()) {
    return Status::ValueOverflow;
  }
  const std::size_t start = out.size();
  Status status = Status::OutOfMemory;
  try {
    IndexedImage indexed = QuantizeColors(image, 256);
    WriteTarget target{&out, false};
    status = Write(image, indexed, target);
  } catch (...) {
    status = Status::OutOfMemory;
  }
  if (status != Status::Ok) out.resize(start);
  return status;
}

}  // namespace quillgate::graphics::codecs
