#include "Platform/Graphics/MemoryStream.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace quillgate::graphics {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::uint8_t> Contents(const MemoryStream& stream) {
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

// The image pipeline's own sequence (write, seek 0 from the end for the size, back to 0,
// read all) runs for every image the engine tests encode. Here: seeks from where the stream
// stands and from the end, and a write over what is there.
TEST(MemoryStream, WritesSeeksAndReadsLikeAFile) {
  MemoryStream stream;
  ASSERT_EQ(stream.Write(Bytes{1, 2, 3}), Status::Ok);
  ASSERT_EQ(stream.Write(Bytes{4, 5}), Status::Ok);
  std::uint64_t position = 99;
  std::array<std::uint8_t, 8> buffer{};
  std::size_t read = 0;
  ASSERT_EQ(stream.Seek(-3, SeekOrigin::Current, position), Status::Ok);
  EXPECT_EQ(position, 2u);
  ASSERT_EQ(stream.Write(Bytes{9}), Status::Ok);
  EXPECT_EQ(stream.Position(), 3u);
  ASSERT_EQ(stream.Seek(-1, SeekOrigin::End, position), Status::Ok);
  ASSERT_EQ(stream.Read(buffer, read), Status::Ok);
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(buffer[0], 5);
  EXPECT_EQ(Contents(stream), (Bytes{1, 2, 9, 4, 5}));
}

TEST(MemoryStream, SeeksBeforeTheStartOrOutOfRangeFailAndKeepThePosition) {
  MemoryStream stream;
  ASSERT_EQ(stream.Write(Bytes{1, 2, 3}), Status::Ok);
  std::uint64_t position = 77;
  EXPECT_EQ(stream.Seek(-4, SeekOrigin::End, position), Status::InvalidParameter);
  EXPECT_EQ(stream.Seek(-1, SeekOrigin::Begin, position), Status::InvalidParameter);
  EXPECT_EQ(stream.Seek(std::numeric_limits<std::int64_t>::min(), SeekOrigin::Current, position),
            Status::InvalidParameter);
  EXPECT_EQ(stream.Seek(std::numeric_limits<std::int64_t>::max(), SeekOrigin::End, position),
            Status::InvalidParameter);
  EXPECT_EQ(position, 77u);
  EXPECT_EQ(stream.Position(), 3u);
  EXPECT_EQ(stream.Seek(0, static_cast<SeekOrigin>(7), position), Status::InvalidParameter);
}

// Seeking past the end does not grow the stream, nor does reading there; writing there
// fills the gap with zeros. SetSize cuts or extends without moving the position.
TEST(MemoryStream, WritingPastTheEndFillsTheGapAndSetSizeKeepsThePosition) {
  MemoryStream stream;
  ASSERT_EQ(stream.Write(Bytes{1}), Status::Ok);
  std::uint64_t position = 0;
  ASSERT_EQ(stream.Seek(3, SeekOrigin::End, position), Status::Ok);
  EXPECT_EQ(stream.Size(), 1u);
  ASSERT_EQ(stream.Write(Bytes{7}), Status::Ok);
  EXPECT_EQ(Contents(stream), (Bytes{1, 0, 0, 0, 7}));
  std::array<std::uint8_t, 2> buffer{};
  std::size_t read = 5;
  ASSERT_EQ(stream.Seek(10, SeekOrigin::Begin, position), Status::Ok);
  ASSERT_EQ(stream.Read(buffer, read), Status::Ok);
  EXPECT_EQ(read, 0u);
  ASSERT_EQ(stream.SetSize(2), Status::Ok);
  EXPECT_EQ(stream.Position(), 10u);
  ASSERT_EQ(stream.SetSize(5), Status::Ok);  // the 7 cut off does not come back
  EXPECT_EQ(Contents(stream), (Bytes{1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace quillgate::graphics
