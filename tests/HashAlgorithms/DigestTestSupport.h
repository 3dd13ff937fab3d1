#pragma once
// Small helpers shared by the digest tests.

#include <string>
#include <string_view>

#include "HashAlgorithms/HexFormat.h"
#include "HashAlgorithms/SHA.h"

namespace quillgate::testing {

inline const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// Uppercase hex digest of what `sha` has accumulated; resets it as FinalDigest does.
inline std::string FinishHex(CSHA& sha) {
  unsigned char out[CSHA::kMaxDigestSize];
  sha.FinalDigest(out);
  return BytesToHex({out, sha.DigestSize()});
}

// Digest of `message` added in one piece to a fresh object.
inline std::string DigestHex(int method, std::string_view message) {
  CSHA sha(method);
  sha.AddData(Bytes(message), static_cast<std::int32_t>(message.size()));
  return FinishHex(sha);
}

}  // namespace quillgate::testing
