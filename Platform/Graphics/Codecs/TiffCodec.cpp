#include "Platform/Graphics/Codecs/TiffCodec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include <tiffio.h>

namespace quillgate::graphics::codecs {

namespace {

// libtiff writes the header, then the strips, then seeks back to patch the directory offset,
// so the file is built in a buffer of its own with a position, not appended to.
struct MemoryFile {
  ByteBuffer bytes;
  std::uint64_t position = 0;
  bool outOfMemory = false;
};

MemoryFile& FileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile& file = FileOf(handle);
  if (size <= 0 || file.position >= file.bytes.size()) return 0;
  const auto count = static_cast<std::size_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(size), file.bytes.size() - file.position));
  std::memcpy(buffer, file.bytes.data() + file.position, count);
  file.position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile& file = FileOf(handle);
  if (size <= 0) return 0;
  const auto count = static_cast<std::uint64_t>(size);
  const std::uint64_t end = file.position + count;
  if (end > file.bytes.size()) {
    try {
      if (end > file.bytes.capacity()) {
        file.bytes.reserve(std::max<std::uint64_t>(end, file.bytes.capacity() * 2));
      }
      file.bytes.resize(end);
    } catch (...) {
      file.outOfMemory = true;
      return -1;
    }
  }
  std::memcpy(file.bytes.data() + file.position, buffer, count);
  file.position = end;
  return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  MemoryFile& file = FileOf(handle);
  // toff_t is unsigned; relative seeks backwards arrive as wrapped-around values.
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = file.position;
  else if (whence == SEEK_END) base = file.bytes.size();
  else if (whence != SEEK_SET) return static_cast<toff_t>(-1);
  const std::uint64_t target = base + offset;
  if (target > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return static_cast<toff_t>(-1);
  }
  file.position = target;
  return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return FileOf(handle).bytes.size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }  // no mapping: libtiff falls back to reads
void UnmapProc(thandle_t, void*, toff_t) {}

// Errors and warnings are turned into the returned status instead of being printed.
int OnMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffDeleter {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

}  // namespace

Status EncodeTiff(const ArgbView& image, ByteBuffer& out) noexcept {
  if (const Status s = CheckImage(image); s != Status::Ok) return s;
  try {
    MemoryFile file;
    // LZW usually brings these images to a quarter of their raw size or less.
    file.bytes.reserve(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) + 1024);

    const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return Status::OutOfMemory;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnMessage, nullptr);
    // "m": never memory-map. Classic TIFF (32-bit offsets) is what every reader takes; an
    // image too big for it fails with a status rather than switching to BigTIFF silently.
    std::unique_ptr<TIFF, TiffDeleter> tif(TIFFClientOpenExt(
        "memory", "wm", &file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
        UnmapProc, options.get()));
    if (!tif) return file.outOfMemory ? Status::OutOfMemory : Status::GenericError;

    const auto width = static_cast<std::uint32_t>(image.width);
    const auto height = static_cast<std::uint32_t>(image.height);
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    bool ok = TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, width) &&
              TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, height) &&
              TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 4) &&
              TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, 1, extra) &&
              TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif.get(), 0));
    if (!ok) return Status::GenericError;

    ByteBuffer row(static_cast<std::size_t>(width) * 4);
    const std::uint32_t* pixels = image.pixels.data();
    for (std::uint32_t y = 0; y < height && ok; ++y) {
      const std::uint32_t* source = pixels + static_cast<std::size_t>(y) * width;
      std::uint8_t* target = row.data();
      for (std::uint32_t x = 0; x < width; ++x, target += 4) {
        const std::uint32_t p = source[x];
        target[0] = RedOf(p);
        target[1] = GreenOf(p);
        target[2] = BlueOf(p);
        target[3] = AlphaOf(p);
      }
      ok = TIFFWriteScanline(tif.get(), row.data(), y, 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif.get()) == 1;
    tif.reset();
    if (!ok || file.outOfMemory) return file.outOfMemory ? Status::OutOfMemory : Status::GenericError;
    return AppendBytes(out, file.bytes.data(), file.bytes.size()) ? Status::Ok : Status::OutOfMemory;
  } catch (...) {
    return Status::OutOfMemory;
  }
}

}  // namespace quillgate::graphics::codecs
