#pragma once
// SHA-1, SHA-256, SHA-384 and SHA-512 as FIPS 180-2 defines them, one class for all four:
// the variant is chosen at construction and never changes. The component's hash values
// use SHA-512; the other variants behave the same way and are selectable.

#include <cstddef>
#include <cstdint>

#include "HashAlgorithms/MessageDigest.h"

namespace quillgate {

class CSHA final : public CMessageDigest {
 public:
  // Values of `method`.
  enum Variant : std::int32_t { SHA160 = 0, SHA256 = 1, SHA384 = 2, SHA512 = 3 };

  // Largest digest of any variant (SHA-512), for sizing output buffers.
  static constexpr std::size_t kMaxDigestSize = 64;

  // Throws std::runtime_error for a method outside 0..3.
  explicit CSHA(int method);

  // Throws std::runtime_error for a negative length, std::invalid_argument for a null
  // `data` with a positive length; either way the message so far is kept unchanged.
  // A length of 0 still counts as data added (the digest is then that of the message
  // so far, possibly empty).
  void AddData(const unsigned char* data, std::int32_t length) override;
  // `out` must hold DigestSize() bytes. Throws std::runtime_error, changing nothing, when
  // no AddData came since construction or the last reset.
  void FinalDigest(unsigned char* out) override;
  void Reset() override;
  void Transform() override;

  [[nodiscard]] int Method() const noexcept { return method; }
  // 20, 32, 48 or 64 bytes.
  [[nodiscard]] std::size_t DigestSize() const noexcept { return DigestSize(method); }
  [[nodiscard]] static constexpr std::size_t DigestSize(int method) noexcept {
    constexpr std::size_t sizes[] = {20, 32, 48, 64};
    return method >= SHA160 && method <= SHA512 ? sizes[method] : 0;
  }

 private:
  void AddData64(const unsigned char* data, std::uint32_t length) noexcept;
  void AddData128(const unsigned char* data, std::uint32_t length) noexcept;
  void Final64(unsigned char* out) noexcept;
  void Final128(unsigned char* out) noexcept;

  std::int32_t method;
  // SHA-1 uses the first five words, SHA-256 all eight.
  std::uint32_t state32[8];
  // Message length in bits for SHA-1 and SHA-256.
  std::uint32_t bitCountLow;
  std::uint32_t bitCountHigh;
  // Partial input block; the 32-bit variants use the first 64 bytes.
  unsigned char block[128];
  // SHA-384 uses the first six words for its output, SHA-512 all eight.
  std::uint64_t state64[8];
  // Message length in bits for SHA-384 and SHA-512, low half first.
  std::uint64_t bitCount128[2];
};

}  // namespace quillgate
