#pragma once
// Common interface of the message digests: bytes go in through AddData in as many pieces
// as the caller likes, FinalDigest pads the message, writes the digest and readies the
// object for the next message.

#include <cstdint>

namespace quillgate {

class CMessageDigest {
 public:
  virtual ~CMessageDigest() = default;

  // Appends `length` bytes at `data` to the message.
  virtual void AddData(const unsigned char* data, std::int32_t length) = 0;
  // Writes the digest of everything added since the last reset to `out` (which must hold
  // the variant's digest size) and resets the object.
  virtual void FinalDigest(unsigned char* out) = 0;
  // Starts a new, empty message.
  virtual void Reset() = 0;
  // Compresses one full input block into the chaining state.
  virtual void Transform() = 0;

 protected:
  CMessageDigest() = default;
  // Copyable only as part of a concrete digest, never sliced through the base.
  CMessageDigest(const CMessageDigest&) = default;
  CMessageDigest& operator=(const CMessageDigest&) = default;

  // True once AddData has been called since construction or the last reset: a digest of
  // "nothing added" is refused rather than silently taken as the empty message.
  bool dataAdded = false;
};

}  // namespace quillgate
