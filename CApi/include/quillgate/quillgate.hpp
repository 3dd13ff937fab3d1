// Quillgate for C++: the C API (quillgate.h) as a value-owning class. Failures throw
// quillgate::Error with the library's message; bytes come back as std::vector. Strings are
// UTF-8; one holding a NUL character is refused (Error with QUILLGATE_INVALID_ARGUMENT),
// since the C API would read it only up to the NUL: "AB\0CD" must never become the code "AB".
//
//   quillgate::Generator captcha;
//   captcha.SetStyle(31).SetFormat("PNG");
//   const std::vector<unsigned char> png = captcha.Draw();
//   const std::string hash = captcha.Hash();   // keep on the server
//   bool right = quillgate::Validate(answer, hash);
//
// One Generator per thread at a time; Generators on different threads never share anything.
#ifndef QUILLGATE_QUILLGATE_HPP
#define QUILLGATE_QUILLGATE_HPP

#include "quillgate/quillgate.h"

#include <cstddef>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillgate {

class Error : public std::runtime_error {
 public:
  Error(quillgate_status status, const std::string& message) : std::runtime_error(message), status_(status) {}
  [[nodiscard]] quillgate_status Status() const noexcept { return status_; }

 private:
  quillgate_status status_;
};

namespace detail {
// `text` for the C API, whole: throws rather than let the C side cut it at a NUL.
inline const char* CText(const std::string& text, const char* what) {
  if (const std::size_t at = text.find('\0'); at != std::string::npos) {
    throw Error(QUILLGATE_INVALID_ARGUMENT, std::string(what) + ": the text holds a NUL character (byte " +
                                                std::to_string(at + 1) + " of " + std::to_string(text.size()) +
                                                "), which C strings cannot carry");
  }
  return text.c_str();
}
}  // namespace detail

class Generator {
 public:
  Generator() {
    quillgate_generator* made = nullptr;
    if (const quillgate_status status = quillgate_create(&made); status != QUILLGATE_OK) {
      throw Error(status, "cannot create a quillgate generator");
    }
    object_.reset(made);
  }

  Generator& SetStyle(int style) { return Check(quillgate_set_style(Get(), style)); }
  Generator& SetSize(int width, int height) { return Check(quillgate_set_size(Get(), width, height)); }
  Generator& SetCodeLength(int length) { return Check(quillgate_set_code_length(Get(), length)); }
  Generator& SetCodeType(int type) { return Check(quillgate_set_code_type(Get(), type)); }
  Generator& SetFormat(const std::string& format) { return Check(quillgate_set_format(Get(), detail::CText(format, "format"))); }
  Generator& NewCode() { return Check(quillgate_new_code(Get())); }
  Generator& SetCode(const std::string& code) { return Check(quillgate_set_code(Get(), detail::CText(code, "code"))); }
  [[nodiscard]] std::string Code() const { return quillgate_code(object_.get()); }

  // The current code (a new one when there is none) drawn in the settings' format.
  [[nodiscard]] std::vector<unsigned char> Draw() { return Take(quillgate_draw); }
  // The same into `buffer`; the bytes used. Throws with QUILLGATE_BUFFER_TOO_SMALL when it
  // does not fit, and the picture is kept for the next DrawInto (see quillgate_draw_into).
  std::size_t DrawInto(std::span<unsigned char> buffer) {
    std::size_t size = 0;
    Check(quillgate_draw_into(Get(), buffer.data(), buffer.size(), &size));
    return size;
  }
  // The current code (a new one when there is none) spoken as a WAV file.
  [[nodiscard]] std::vector<unsigned char> Speak() { return Take(quillgate_speak); }
  // The uppercase hexadecimal SHA-512 of the current code.
  [[nodiscard]] std::string Hash() {
    char hash[QUILLGATE_HASH_SIZE];
    Check(quillgate_hash(Get(), hash));
    return hash;
  }

 private:
  struct Destroy {
    void operator()(quillgate_generator* object) const noexcept { quillgate_destroy(object); }
  };
  struct Free {
    void operator()(unsigned char* bytes) const noexcept { quillgate_free(bytes); }
  };

  [[nodiscard]] quillgate_generator* Get() const noexcept { return object_.get(); }
  Generator& Check(quillgate_status status) {
    if (status != QUILLGATE_OK) throw Error(status, quillgate_last_error(Get()));
    return *this;
  }
  std::vector<unsigned char> Take(quillgate_status (*call)(quillgate_generator*, unsigned char**, size_t*)) {
    unsigned char* bytes = nullptr;
    std::size_t size = 0;
    Check(call(Get(), &bytes, &size));
    const std::unique_ptr<unsigned char, Free> owned(bytes);
    return std::vector<unsigned char>(bytes, bytes + size);
  }

  std::unique_ptr<quillgate_generator, Destroy> object_;
};

// True when `hash` is the hash of `answer` exactly. Throws Error for a string with a NUL.
[[nodiscard]] inline bool Validate(const std::string& answer, const std::string& hash) {
  return quillgate_validate(detail::CText(answer, "answer"), detail::CText(hash, "hash")) != 0;
}

}  // namespace quillgate

#endif  // QUILLGATE_QUILLGATE_HPP
