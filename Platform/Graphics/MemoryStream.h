#pragma once
// A growable byte stream held in memory: what the image pipeline saves an encoded image into
// and then reads back (seek to the end to learn the size, back to the start, read). Like a
// stream on global memory it has one position shared by reading and writing, may be written
// past its end (the gap reads as zeros), and reports failures as results instead of throwing.

#include "Platform/Graphics/GraphicsTypes.h"  // Status

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillgate::graphics {

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

class MemoryStream {
 public:
  MemoryStream() = default;

  // Writes all of `bytes` at the position and moves past them, growing the stream as needed.
  // OutOfMemory (stream unchanged) when the memory cannot be had.
  Status Write(std::span<const std::uint8_t> bytes) noexcept;

  // Copies up to buffer.size() bytes from the position into `buffer` and moves past them;
  // `bytesRead` says how many (fewer near or past the end, which is not an error).
  Status Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead) noexcept;

  // Moves the position to `offset` relative to `origin` and reports the new position.
  // A position before the start, or one beyond what a 64-bit offset can hold, is
  // InvalidParameter and leaves the position where it was. Positions past the end are allowed.
  Status Seek(std::int64_t offset, SeekOrigin origin, std::uint64_t& newPosition) noexcept;

  // Truncates or extends (with zeros) to exactly `size` bytes; the position does not move.
  Status SetSize(std::uint64_t size) noexcept;

  std::uint64_t Size() const noexcept { return bytes_.size(); }
  std::uint64_t Position() const noexcept { return position_; }
  // The whole contents, independent of the position; valid until the next change.
  std::span<const std::uint8_t> Bytes() const noexcept { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
};

}  // namespace quillgate::graphics
