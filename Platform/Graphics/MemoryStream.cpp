#include "Platform/Graphics/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace quillgate::graphics {

namespace {

constexpr std::uint64_t kMaxPosition = std::numeric_limits<std::int64_t>::max();

}  // namespace

Status MemoryStream::Write(std::span<const std::uint8_t> bytes) noexcept {
  if (bytes.empty()) return Status::Ok;
  if (bytes.size() > kMaxPosition - position_) return Status::ValueOverflow;
  const std::uint64_t end = position_ + bytes.size();
  if (end > bytes_.max_size()) return Status::OutOfMemory;
  try {
    if (end > bytes_.size()) {
      // Grow geometrically so that many small writes (encoders emit chunks) stay linear.
      if (end > bytes_.capacity()) {
        bytes_.reserve(std::max<std::uint64_t>(end, bytes_.capacity() * 2));
      }
      bytes_.resize(end);
    }
  } catch (...) {
    return Status::OutOfMemory;
  }
  std::memcpy(bytes_.data() + position_, bytes.data(), bytes.size());
  position_ = end;
  return Status::Ok;
}

Status MemoryStream::Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead) noexcept {
  bytesRead = 0;
  if (position_ >= bytes_.size() || buffer.empty()) return Status::Ok;
  const std::size_t count =
      static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), bytes_.size() - position_));
  std::memcpy(buffer.data(), bytes_.data() + position_, count);
  position_ += count;
  bytesRead = count;
  return Status::Ok;
}

Status MemoryStream::Seek(std::int64_t offset, SeekOrigin origin,
                          std::uint64_t& newPosition) noexcept {
  std::uint64_t base = 0;
  switch (origin) {
    case SeekOrigin::Begin: base = 0; break;
    case SeekOrigin::Current: base = position_; break;
    case SeekOrigin::End: base = bytes_.size(); break;
    default: return Status::InvalidParameter;
  }
  std::uint64_t target = 0;
  if (offset >= 0) {
    const auto forward = static_cast<std::uint64_t>(offset);
    if (forward > kMaxPosition - base) return Status::InvalidParameter;
    target = base + forward;
  } else {
    // -(offset + 1) + 1 avoids negating INT64_MIN.
    const std::uint64_t back = static_cast<std::uint64_t>(-(offset + 1)) + 1;
    if (back > base) return Status::InvalidParameter;
    target = base - back;
  }
  position_ = target;
  newPosition = target;
  return Status::Ok;
}

Status MemoryStream::SetSize(std::uint64_t size) noexcept {
  if (size > kMaxPosition || size > bytes_.max_size()) return Status::OutOfMemory;
  try {
    bytes_.resize(static_cast<std::size_t>(size));
  } catch (...) {
    return Status::OutOfMemory;
  }
  return Status::Ok;
}

}  // namespace quillgate::graphics
