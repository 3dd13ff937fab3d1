#include "Platform/Graphics/Encoders.h"

#include "Platform/Graphics/Codecs/BmpCodec.h"
#include "Platform/Graphics/Codecs/GifCodec.h"
#include "Platform/Graphics/Codecs/JpegCodec.h"
#include "Platform/Graphics/Codecs/PngCodec.h"
#include "Platform/Graphics/Codecs/TiffCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace quillgate::graphics {

namespace {

// File format identifiers.
constexpr GUID kImageFormatBmp{0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kImageFormatJpeg{0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kImageFormatPng{0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kImageFormatGif{0xB96B3CB0, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kImageFormatTiff{0xB96B3CB1, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

constexpr std::uint32_t kBuiltinEncoderFlags = ImageCodecFlagsEncoder | ImageCodecFlagsSupportBitmap |
                                               ImageCodecFlagsBuiltin;

constexpr std::array<ImageCodecInfo, 5> kEncoders{{
    {kBmpEncoderClsid, kImageFormatBmp, u"Built-in BMP Codec", u"", u"BMP", u"*.BMP;*.DIB;*.RLE",
     u"image/bmp", kBuiltinEncoderFlags, 1},
    {kJpegEncoderClsid, kImageFormatJpeg, u"Built-in JPEG Codec", u"", u"JPEG",
     u"*.JPG;*.JPEG;*.JPE;*.JFIF", u"image/jpeg", kBuiltinEncoderFlags, 1},
    {kGifEncoderClsid, kImageFormatGif, u"Built-in GIF Codec", u"", u"GIF", u"*.GIF", u"image/gif",
     kBuiltinEncoderFlags, 1},
    {kTiffEncoderClsid, kImageFormatTiff, u"Built-in TIFF Codec", u"", u"TIFF", u"*.TIF;*.TIFF",
     u"image/tiff", kBuiltinEncoderFlags, 1},
    {kPngEncoderClsid, kImageFormatPng, u"Built-in PNG Codec", u"", u"PNG", u"*.PNG", u"image/png",
     kBuiltinEncoderFlags, 1},
}};

constexpr std::uint32_t kEncoderListBytes = sizeof(ImageCodecInfo) * kEncoders.size();

// The quality to use: the parameter's value when present, the default otherwise; nothing
// when the parameter is there but malformed.
std::optional<int> JpegQuality(const EncoderParameters* params) {
  if (params == nullptr) return codecs::kDefaultJpegQuality;
  for (const EncoderParameter& p : params->Parameter) {
    if (p.Guid != EncoderQuality) continue;
    if (p.Type != EncoderParameterValueType::Long || p.NumberOfValues != 1 || p.Value == nullptr) {
      return std::nullopt;
    }
    std::int32_t value = 0;
    std::memcpy(&value, p.Value, sizeof value);
    if (value < 0 || value > 100) return std::nullopt;
    return value;
  }
  return codecs::kDefaultJpegQuality;
}

}  // namespace

std::span<const ImageCodecInfo> ImageEncoders() noexcept { return kEncoders; }

Status GetImageEncodersSize(std::uint32_t& numEncoders, std::uint32_t& size) noexcept {
  numEncoders = static_cast<std::uint32_t>(kEncoders.size());
  size = kEncoderListBytes;
  return Status::Ok;
}

Status GetImageEncoders(std::uint32_t numEncoders, std::uint32_t size, ImageCodecInfo* encoders) noexcept {
  if (encoders == nullptr) return Status::GenericError;
  if (numEncoders != kEncoders.size() || size != kEncoderListBytes) return Status::InvalidParameter;
  std::copy(kEncoders.begin(), kEncoders.end(), encoders);
  return Status::Ok;
}

Status SaveImageToStream(ArgbView image, MemoryStream& stream, const CLSID& encoderClsid,
                         const EncoderParameters* params) noexcept {
  // The file is built apart and written in one piece, so a failure leaves the stream alone.
  codecs::ByteBuffer file;
  Status status = Status::UnknownImageFormat;
  if (encoderClsid == kJpegEncoderClsid) {
    const std::optional<int> quality = JpegQuality(params);
    if (!quality) return Status::InvalidParameter;
    status = codecs::EncodeJpeg(image, *quality, file);
  } else if (encoderClsid == kPngEncoderClsid) {
    status = codecs::EncodePng(image, file);
  } else if (encoderClsid == kGifEncoderClsid) {
    status = codecs::EncodeGif(image, file);
  } else if (encoderClsid == kTiffEncoderClsid) {
    status = codecs::EncodeTiff(image, file);
  } else if (encoderClsid == kBmpEncoderClsid) {
    status = codecs::EncodeBmp(image, file);
  }
  if (status != Status::Ok) return status;
  return stream.Write(file);
}

}  // namespace quillgate::graphics
