// The public C library: one object per visitor, each with its own settings and code, drawn
// and spoken by the engine's own styles, encoders and voice. Nothing here is shared between
// objects, so the only rule for threads is one object per thread at a time.
#include "quillgate/quillgate.h"

#include "CommonUtilities/ByteArray.h"
#include "CommonUtilities/EngineError.h"
#include "Engine/CaptchaEngine.h"
#include "Engine/ImageEncoding.h"
#include "Engine/StandaloneCaptcha.h"
#include "Platform/Graphics/Bitmap.h"
#include "Sound/SoundGenerator.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

struct quillgate_generator {
  int style = 31;
  int width = 250;
  int height = 50;
  int codeLength = 5;
  int codeType = 0;
  std::string format = "JPEG";
  std::optional<std::string> code;
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

quillgate_status Refuse(quillgate_generator& object, std::string message) {
  object.error = std::move(message);
  return QUILLGATE_INVALID_ARGUMENT;
}

quillgate_status RefuseRange(quillgate_generator& object, const char* what, long long value, long long lowest,
                             long long highest) {
  return Refuse(object, std::string(what) + ": " + std::to_string(value) + " is outside " + std::to_string(lowest) +
                            " to " + std::to_string(highest));
}

const std::string& CurrentCode(quillgate_generator& object) {
  if (!object.code) object.code = quillgate::RandomCode(object.codeLength, object.codeType);
  return *object.code;
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
  return Call(object, [&](quillgate_generator& g) {
    if (style < 0 || style > kMaxStyle) return RefuseRange(g, "style", style, 0, kMaxStyle);
    g.style = style;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_size(quillgate_generator* object, int width, int height) {
  return Call(object, [&](quillgate_generator& g) {
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
  return Call(object, [&](quillgate_generator& g) {
    if (length < 1 || length > kMaxCodeLength) return RefuseRange(g, "code length", length, 1, kMaxCodeLength);
    g.codeLength = length;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_code_type(quillgate_generator* object, int type) {
  return Call(object, [&](quillgate_generator& g) {
    if (type < 0 || type > 2) return RefuseRange(g, "code type", type, 0, 2);
    g.codeType = type;
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_format(quillgate_generator* object, const char* format) {
  return Call(object, [&](quillgate_generator& g) {
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
  return Call(object, [&](quillgate_generator& g) {
    g.code = quillgate::RandomCode(g.codeLength, g.codeType);
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_set_code(quillgate_generator* object, const char* code) {
  return Call(object, [&](quillgate_generator& g) {
    if (code == nullptr) return Refuse(g, "code: null");
    const std::size_t length = std::strlen(code);
    if (length == 0) return Refuse(g, "code: the code is empty");
    if (length > static_cast<std::size_t>(kMaxCodeLength)) {
      return Refuse(g, "code: the code has " + std::to_string(length) + " bytes; at most 1000 are allowed");
    }
    for (std::size_t i = 0; i < length; ++i) {
      const auto byte = static_cast<unsigned char>(code[i]);
      if (byte < 0x20 || byte == 0x7F) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", byte);
        return Refuse(g, std::string("code: the code holds the control character ") + hex);
      }
    }
    g.code = std::string(code, length);
    return QUILLGATE_OK;
  });
}

const char* quillgate_code(const quillgate_generator* object) {
  return object != nullptr && object->code ? object->code->c_str() : "";
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
    const std::vector<unsigned char> image =
        quillgate::DrawStandaloneImage(CurrentCode(g), g.width, g.height, g.style, g.format);
    *size = image.size();
    if (image.size() > capacity) {
      g.error = "the image takes " + std::to_string(image.size()) + " bytes; the buffer holds " +
                std::to_string(capacity);
      return QUILLGATE_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, image.data(), image.size());
    return QUILLGATE_OK;
  });
}

quillgate_status quillgate_speak(quillgate_generator* object, unsigned char** bytes, size_t* size) {
  return Call(object, [&](quillgate_generator& g) {
    if (bytes == nullptr || size == nullptr) return Refuse(g, "speak: null output");
    quillgate::ByteArray wave;
    quillgate::SoundGenerator().GenerateWave(CurrentCode(g), wave);
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
    return quillgate::CaptchaEngine::Validate(answer, hash) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
