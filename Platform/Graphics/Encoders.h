#pragma once
// The installed image encoders and saving an image through one of them into a memory
// stream, shaped like the Windows graphics library's encoder list and save-to-stream: a
// caller asks for the list, picks an encoder by MIME type, and saves with its class
// identifier and a list of encoder parameters.

#include "Platform/Com/Guid.h"
#include "Platform/Graphics/ArgbView.h"
#include "Platform/Graphics/MemoryStream.h"
#include "Platform/Graphics/GraphicsTypes.h"  // Status

#include <cstdint>
#include <span>
#include <string_view>

namespace quillgate::graphics {

using com::CLSID;
using com::GUID;

// One installed encoder. The strings are static, null-terminated UTF-16 (the library's WCHAR
// text), so a MIME type compares with a wide string as the caller has it.
struct ImageCodecInfo {
  CLSID Clsid;                            // identifies the encoder in SaveImageToStream
  GUID FormatID;                          // the file format it writes
  std::u16string_view CodecName;          // "Built-in JPEG Codec"
  std::u16string_view DllName;            // empty: the codecs are built in
  std::u16string_view FormatDescription;  // "JPEG"
  std::u16string_view FilenameExtension;  // "*.JPG;*.JPEG;*.JPE;*.JFIF"
  std::u16string_view MimeType;           // "image/jpeg"
  std::uint32_t Flags;                    // ImageCodecFlags
  std::uint32_t Version;
};

enum ImageCodecFlags : std::uint32_t {
  ImageCodecFlagsEncoder = 0x00000001,
  ImageCodecFlagsDecoder = 0x00000002,
  ImageCodecFlagsSupportBitmap = 0x00000004,
  ImageCodecFlagsSupportVector = 0x00000008,
  ImageCodecFlagsSeekableEncode = 0x00000010,
  ImageCodecFlagsBlockingDecode = 0x00000020,
  ImageCodecFlagsBuiltin = 0x00010000,
  ImageCodecFlagsSystem = 0x00020000,
  ImageCodecFlagsUser = 0x00040000,
};

// Encoder class identifiers.
inline constexpr CLSID kBmpEncoderClsid{0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr CLSID kJpegEncoderClsid{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr CLSID kGifEncoderClsid{0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr CLSID kTiffEncoderClsid{0x557CF405, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr CLSID kPngEncoderClsid{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// ---- encoder parameters -----------------------------------------------------------------

enum class EncoderParameterValueType : std::uint32_t {
  Byte = 1,
  ASCII = 2,
  Short = 3,
  Long = 4,
  Rational = 5,
  LongRange = 6,
  Undefined = 7,
  RationalRange = 8,
  Pointer = 9,
};

// Compression quality 0 (smallest) to 100 (best): one value of type Long. Only the JPEG
// encoder uses it; the others accept and ignore it.
inline constexpr GUID EncoderQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

struct EncoderParameter {
  GUID Guid;
  std::uint32_t NumberOfValues;
  EncoderParameterValueType Type;
  const void* Value;  // NumberOfValues values of Type; for Long, std::int32_t
};

struct EncoderParameters {
  std::span<const EncoderParameter> Parameter;
};

// ---- the encoder list ---------------------------------------------------------------------

// The installed encoders, in the Windows library's order: BMP, JPEG, GIF, TIFF, PNG.
std::span<const ImageCodecInfo> ImageEncoders() noexcept;

// How many encoders there are and how many bytes GetImageEncoders needs for them.
Status GetImageEncodersSize(std::uint32_t& numEncoders, std::uint32_t& size) noexcept;

// Copies the list into `encoders`, which has room for `size` bytes; `numEncoders` and
// `size` must be what GetImageEncodersSize gave (InvalidParameter otherwise; GenericError
// when `encoders` is null).
Status GetImageEncoders(std::uint32_t numEncoders, std::uint32_t size, ImageCodecInfo* encoders) noexcept;

// ---- saving -------------------------------------------------------------------------------

// Encodes `image` with the encoder `encoderClsid` and writes the file at the stream's
// position. On failure the stream is left as it was. `params` may be null.
//   InvalidParameter    empty image, too few pixels, malformed quality parameter
//   UnknownImageFormat  no installed encoder has that class identifier
//   ValueOverflow       the image is too large for the format
//   OutOfMemory         memory ran out
//   GenericError        the codec library failed
Status SaveImageToStream(ArgbView image, MemoryStream& stream, const CLSID& encoderClsid,
                         const EncoderParameters* params) noexcept;

}  // namespace quillgate::graphics
