#pragma once
// Automation strings: UTF-16 text preceded by its length in bytes (32 bits) and followed by
// a NUL, handed around as a pointer to the first character. A null BSTR is the empty text.

#include "Platform/Com/Types.h"

#include <string>
#include <string_view>
#include <utility>

namespace quillgate::com {

using BSTR = OLECHAR*;

// A copy of the NUL-terminated text, or null when `text` is null or memory runs out.
BSTR SysAllocString(const OLECHAR* text) noexcept;
// A string of `length` characters copied from `text` (zero-filled when `text` is null);
// null when memory runs out.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept;
void SysFreeString(BSTR text) noexcept;
// Characters in the string (embedded NULs included); 0 for null.
UINT SysStringLen(BSTR text) noexcept;
UINT SysStringByteLen(BSTR text) noexcept;

// The text of a BSTR as a view; a null BSTR is the empty view.
inline std::u16string_view BstrView(BSTR text) noexcept { return {text ? text : u"", SysStringLen(text)}; }

// Owns one BSTR and frees it on destruction.
class BString {
 public:
  BString() noexcept = default;
  explicit BString(std::u16string_view text);  // throws std::bad_alloc
  BString(const BString&) = delete;
  BString& operator=(const BString&) = delete;
  BString(BString&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  BString& operator=(BString&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.text_, nullptr));
    return *this;
  }
  ~BString() { SysFreeString(text_); }

  [[nodiscard]] BSTR Get() const noexcept { return text_; }
  [[nodiscard]] std::u16string_view View() const noexcept { return BstrView(text_); }
  // For out-parameters: frees the current string and hands out the slot.
  BSTR* Out() noexcept {
    Reset();
    return &text_;
  }
  [[nodiscard]] BSTR Detach() noexcept { return std::exchange(text_, nullptr); }
  void Reset(BSTR text = nullptr) noexcept {
    SysFreeString(text_);
    text_ = text;
  }

 private:
  BSTR text_ = nullptr;
};

}  // namespace quillgate::com
