// The public C library: one object per visitor, each with its own settings and code, drawn
// and spoken by the engine's own styles, encoders and voice. Nothing here is shared between
// objects, so the only rule for threads is one object per thread at a time.
#include "quillgate/quillgate.h"

#include "CommonUtilities/ByteArray.h"
#include "CommonUtilities/EngineError.h"
#include "CommonUtilities/StringConversion.h"
#include "CommonUtilities/Utf8Text.h"
#include "Engine/CaptchaEngine.h"
#include "Engine/ImageEncoding.h"
#include "Engine/StandaloneCaptcha.h"
#include "Platform/Com/Utf.h"
#include "Platform/Graphics/Bitmap.h"
#include "Sound/SoundGenerator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct quillgate_generator {
  int style = 31;
  int width = 250;
  int height = 50;
  int codeLength = 5;
  int codeType = 0;
  std::string format = "JPEG";
  std::optional<std::string> code;  // as the engine draws, speaks and hashes it (Windows-1252)
  std::string codeText;             // the same code in UTF-8, as the caller gave it
  // The picture a quillgate_draw_into drew for a buffer that was too small: the caller's
  // second call, with the size it was told, must receive these very bytes, since a fresh
  // drawing has new noise and so, in a compressed format, another size.
  std::optional<std::vector<unsigned char>> keptImage;
  std::string error;
};

namespace {

constexpr int kMaxStyle = 49;
constexpr int kMaxCodeLength = 1000;
constexpr int kMinimumHeight = 10;  // as the component draws a lower one
const char* const kNoObject = "no quillgate_generator was given (null)";

// Runs one call: clears the object's last error, turns every failure into a status and a
// message, and never lets an exception cross into C.
template <typename Work>
quillgate_status Call(quillgate_generator* object, Work&& work) noexcept {
  if (object == nullptr) return QUILLGATE_INVALID_ARGUMENT;
  object->error.clear();
  try {
    return work(*object);
  } catch (const quillgate::EngineError& e) {
    object->error = e.what();
    return QUILLGATE_FAILED;
  } catch (const std::bad_alloc&) {
    object->error = "out of memory";
    return QUILLGATE_OUT_OF_MEMORY;
  } catch (const std::exception& e) {
    object->error = e.what();
    return QUILLGATE_FAILED;
  } catch (...) {
    object->error = "an unknown failure";
    return QUILLGATE_FAILED;
  }
}

// A call that changes a setting or the code: once it succeeds, a kept picture shows what is
// no longer asked for.
template <typename Work>
quillgate_status Change(quillgate_generator* object, Work&& work) noexcept {
  const quillgate_status status = Call(object, std::forward<Work>(work));
  if (status == QUILLGATE_OK) object->keptImage.reset();
  return status;
}

quillgate_status Refuse(quillgate_generator& object, std::string message) {
  object.error = std::move(message);
  return QUILLGATE_INVALID_ARGUMENT;
}

quillgate_status RefuseRange(quillgate_generator& object, const char* what, long long value, long long lowest,
                             long long highest) {
  return Refuse(object, std::string(what) + ": " + std::to_string(value) + " is outside " + std::to_string(lowest) +
                            " to " + std::to_string(highest));
}

void SetRandomCode(quillgate_generator& object) {
  object.code = quillgate::RandomCode(object.codeLength, object.codeType);
  object.codeText = *object.code;  // the alphabets are ASCII
}

const std::string& CurrentCode(quillgate_generator& object) {
  if (!object.code) SetRandomCode(object);
  return *object.code;
}

std::string Hex(char32_t character) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(character));
  return text;
}

// A code as the engine holds it: UTF-8 converted as the command line converts its codes, so
// a code set here hashes as `quillgate hash` hashes it. Throws std::invalid_argument for
// text that is not UTF-8 and for characters no picture can show: control characters, and
// characters outside Windows-1252, which the conversion would turn into a '?' the visitor
// cannot know to type.
std::string CodeBytes(std::string_view utf8) {
  std::u16string wide;
  std::string narrow;
  try {
    wide = quillgate::Utf8ToWide(utf8);
    narrow = quillgate::Utf8ToAnsi(utf8);
  } catch (const std::runtime_error& e) {
    throw std::invalid_argument(e.what());
  }
  // One narrow byte per character; a character beyond U+FFFF takes two wide units.
  std::size_t unit = 0;
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    const bool pair = wide[unit] >= 0xD800 && wide[unit] <= 0xDBFF;
    const char32_t character =
        pair ? 0x10000 + ((char32_t{wide[unit]} - 0xD800) << 10) + (wide[unit + 1] - 0xDC00) : wide[unit];
    const std::string where = " (character " + std::to_string(i + 1) + ")";
    if (character < 0x20 || (character >= 0x7F && character < 0xA0)) {
      throw std::invalid_argument("the code holds the control character " + Hex(character) + where);
    }
    if (narrow[i] == '?' && character != U'?') {
      throw std::invalid_argument("the code holds " + Hex(character) + " '" +
                                  quillgate::com::Utf16ToUtf8(wide.substr(unit, pair ? 2 : 1)) + "'" + where +
                                  ", which the pictures cannot show: codes are limited to the characters of "
                                  "Windows-1252 (Western European)");
    }
    unit += pair ? 2 : 1;
  }
  return narrow;
}

// The first character of `code` that the voice has no recording of, with its position, as a
// message; nothing when every character has one.
std::optional<std::string> Unspeakable(const std::string& code) {
  const quillgate::SoundGenerator voice;
  for (std::size_t i = 0; i < code.size(); ++i) {
    try {
      (void)voice.ClipSamples(code[i]);
    } catch (const quillgate::EngineError&) {
      return "cannot speak '" + quillgate::com::Utf16ToUtf8(quillgate::AnsiToWide(code.substr(i, 1))) +
             "' (character " + std::to_string(i + 1) +
             " of the code): only the letters A to Z, in either case, and the digits 0 to 9 are spoken";
    }
  }
  return std::nullopt;
}

// Hands bytes to the caller in a buffer quillgate_free releases.
quillgate_status GiveBytes(quillgate_generator& object, std::span<const unsigned char> data, unsigned char** bytes,
                           size_t* size) {
  auto* copy = static_cast<unsigned char*>(std::malloc(data.empty() ? 1 : data.size()));
  if (copy == nullptr) {
    object.error = "out of memory";
    return QUILLGATE_OUT_OF_MEMORY;
  }
  if (!data.empty()) std::memcpy(copy, data.data(), data.size());
  *bytes = copy;
  *size = data.size();
  return QUILLGATE_OK;
}

}  // namespace

extern "C" {

const char* quillgate_version(void) { return QUILLGATE_VERSION; }

quillgate_status quillgate_create(quillgate_generator** object) {
  if (object == nullptr) return QUILLGATE_INVALID_ARGUMENT;
  *object = new (std::nothrow) quillgate_generator();
  return *object != nullptr ? QUILLGATE_OK : QUILLGATE_OUT_OF_MEMORY;
}

void quillgate_destroy(quillgate_generator* object) { delete object; }

const char* quillgate_last_error(const quillgate_generator* object) {
  return object == nullptr ? kNoObject : object->error.c_str();
}

quillgate_status quillgate_set_style(quillgate_generator* object, int style) {
  return Change(object, [&](quillgate_generator& g) {
    if (style < 0 || style > kMaxStyle) return RefuseRange(g, "style", style, 0, kMaxStyle);
    g.style = style;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_size(quillgate_generator* object, int width, int height) {
  return Change(object, [&](quillgate_generator& g) {
    using quillgate::graphics::Bitmap;
    if (width < 1 || width > Bitmap::kMaxSide) return RefuseRange(g, "width", width, 1, Bitmap::kMaxSide);
    if (height < 1 || height > Bitmap::kMaxSide) return RefuseRange(g, "height", height, 1, Bitmap::kMaxSide);
    const int drawnHeight = height < kMinimumHeight ? kMinimumHeight : height;
    if (std::int64_t{width} * drawnHeight > Bitmap::kMaxPixels) {
      return Refuse(g, std::to_string(width) + " x " + std::to_string(height) + " is more than " +
                           std::to_string(Bitmap::kMaxPixels) + " pixels");
    }
    g.width = width;
    g.height = drawnHeight;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_code_length(quillgate_generator* object, int length) {
  return Change(object, [&](quillgate_generator& g) {
    if (length < 1 || length > kMaxCodeLength) return RefuseRange(g, "code length", length, 1, kMaxCodeLength);
    g.codeLength = length;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_code_type(quillgate_generator* object, int type) {
  return Change(object, [&](quillgate_generator& g) {
    if (type < 0 || type > 2) return RefuseRange(g, "code type", type, 0, 2);
    g.codeType = type;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_format(quillgate_generator* object, const char* format) {
  return Change(object, [&](quillgate_generator& g) {
    if (format == nullptr) return Refuse(g, "format: null");
    std::string name = quillgate::CanonicalFormatName(format);
    if (!quillgate::MimeTypeOfFormat(name)) {
      return Refuse(g, std::string("format: '") + format + "' is not one of JPEG, PNG, GIF, BMP, TIFF");
    }
    g.format = std::move(name);
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_new_code(quillgate_generator* object) {
  return Change(object, [&](quillgate_generator& g) {
    SetRandomCode(g);
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_code(quillgate_generator* object, const char* code) {
  return Change(object, [&](quillgate_generator& g) {
    if (code == nullptr) return Refuse(g, "code: null");
    if (*code == '\0') return Refuse(g, "code: the code is empty");
    std::string bytes;
    try {
      bytes = CodeBytes(code);
    } catch (const std::invalid_argument& e) {
      return Refuse(g, std::string("code: ") + e.what());
    }
    if (bytes.size() > static_cast<std::size_t>(kMaxCodeLength)) {
      return Refuse(g, "code: the code has " + std::to_string(bytes.size()) + " characters; at most " +
                           std::to_string(kMaxCodeLength) + " are allowed");
    }
    g.code = std::move(bytes);
    g.codeText = code;
    return QUILLGATE_OK;
  });
}

const char* quillgate_code(const quillgate_generator* object) {
  return object != nullptr && object->code ? object->codeText.c_str() : "";
}

quillgate_status quillgate_draw(quillgate_generator* object, unsigned char** bytes, size_t* size) {
  return Call(object, [&](quillgate_generator& g) {
    if (bytes == nullptr || size == nullptr) return Refuse(g, "draw: null output");
    const std::vector<unsigned char> image =
        quillgate::DrawStandaloneImage(CurrentCode(g), g.width, g.height, g.style, g.format);
    return GiveBytes(g, image, bytes, size);
  });
}

quillgate_status quillgate_draw_into(quillgate_generator* object, unsigned char* buffer, size_t capacity,
                                     size_t* size) {
  return Call(object, [&](quillgate_generator& g) {
    if (size == nullptr || (buffer == nullptr && capacity > 0)) return Refuse(g, "draw_into: null output");
    if (!g.keptImage) {
      g.keptImage = quillgate::DrawStandaloneImage(CurrentCode(g), g.width, g.height, g.style, g.format);
    }
    *size = g.keptImage->size();
    if (g.keptImage->size() > capacity) {
      g.error = "the image takes " + std::to_string(g.keptImage->size()) + " bytes; the buffer holds " +
                std::to_string(capacity);
      return QUILLGATE_BUFFER_TOO_SMALL;
    }
    if (!g.keptImage->empty()) std::memcpy(buffer, g.keptImage->data(), g.keptImage->size());
    g.keptImage.reset();  // handed out: the next drawing is a new one
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_speak(quillgate_generator* object, unsigned char** bytes, size_t* size) {
  return Call(object, [&](quillgate_generator& g) {
    if (bytes == nullptr || size == nullptr) return Refuse(g, "speak: null output");
    const std::string& code = CurrentCode(g);
    quillgate::ByteArray wave;
    try {
      quillgate::SoundGenerator().GenerateWave(code, wave);
    } catch (const quillgate::EngineError&) {
      // The voice's own message names no character; the caller is told which one it was.
      if (auto message = Unspeakable(code)) {
        g.error = "speak: " + *message;
        return QUILLGATE_FAILED;
      }
      throw;
    }
    return GiveBytes(g, wave.Bytes(), bytes, size);
  });
}

void quillgate_free(void* bytes) { std::free(bytes); }

quillgate_status quillgate_hash(quillgate_generator* object, char* hash) {
  return Call(object, [&](quillgate_generator& g) {
    if (hash == nullptr) return Refuse(g, "hash: null output");
    if (!g.code) return Refuse(g, "hash: there is no current code yet");
    const std::string hex = quillgate::CaptchaEngine::ComputeHash(*g.code);
    std::memcpy(hash, hex.c_str(), hex.size() + 1);
    return QUILLGATE_OK;
  });
}

int quillgate_validate(const char* answer, const char* hash) {
  if (answer == nullptr || hash == nullptr) return 0;
  try {
    // Converted as codes are; an answer no code could be (not UTF-8, a character no
    // picture shows) matches nothing.
    return quillgate::CaptchaEngine::Validate(CodeBytes(answer), hash) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
