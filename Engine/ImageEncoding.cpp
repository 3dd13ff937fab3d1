#include "Engine/ImageEncoding.h"

#include <array>
#include <new>
#include <utility>
#include <vector>

namespace quillgate {

std::string CanonicalFormatName(std::string_view text) {
  std::string name(text);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name == "JPG" ? "JPEG" : name;
}

std::optional<std::u16string_view> MimeTypeOfFormat(std::string_view format) {
  static constexpr std::array<std::pair<std::string_view, std::u16string_view>, 5> kFormats = {{
      {"JPEG", u"image/jpeg"},
      {"BMP", u"image/bmp"},
      {"GIF", u"image/gif"},
      {"TIFF", u"image/tiff"},
      {"PNG", u"image/png"},
  }};
  for (const auto& [name, mimeType] : kFormats) {
    if (name == format) return mimeType;
  }
  return std::nullopt;
}

std::int32_t FindEncoder(std::u16string_view mimeType, graphics::CLSID& classId) {
  std::uint32_t count = 0;
  std::uint32_t size = 0;
  if (graphics::GetImageEncodersSize(count, size) != graphics::Ok || size == 0) return -1;
  try {
    // `size` bytes, held in whole descriptions so that they are properly aligned.
    const std::size_t slots = (size + sizeof(graphics::ImageCodecInfo) - 1) / sizeof(graphics::ImageCodecInfo);
    std::vector<graphics::ImageCodecInfo> encoders(slots);
    if (encoders.size() < count) return -1;
    if (graphics::GetImageEncoders(count, size, encoders.data()) != graphics::Ok) return -1;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (encoders[i].MimeType == mimeType) {
        classId = encoders[i].Clsid;
        return static_cast<std::int32_t>(i);
      }
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return -1;
}

}  // namespace quillgate
