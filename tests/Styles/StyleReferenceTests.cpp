// Every style's whole picture, pinned: from one fixed state of the random source and one
// code, each style must draw exactly the pixels of its committed reference PNG. A changed
// pen width, colour, draw order or rounding anywhere in the drawing shows up here.
//
// To accept a deliberate change of look, regenerate the pictures with
// tools/make-style-references.sh and look at them before committing.
#include "StyleDrawing.h"
#include "tests/Platform/Graphics/ImageDecoders.h"
#include "Platform/Graphics/Encoders.h"
#include "Platform/Graphics/MemoryStream.h"
#include "Styles/StyleRenderer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace quillgate {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 250;
constexpr int kHeight = 50;
constexpr std::int32_t kState = 20240607;
constexpr const char* kCode = "K3P9X";

fs::path ReferenceDirectory() { return QUILLGATE_STYLE_REFERENCES; }
fs::path ReferenceFile(int style) { return ReferenceDirectory() / ("style" + std::to_string(style) + ".png"); }

// Set by tools/make-style-references.sh: write the pictures instead of comparing.
bool Regenerating() { return std::getenv("QUILLGATE_WRITE_STYLE_REFERENCES") != nullptr; }

std::vector<int> DrawnStyles() {
  std::vector<int> styles;
  for (int style = 0; style < 50; ++style) {
    if (CreateStyleRenderer(style)) styles.push_back(style);
  }
  return styles;
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WritePng(const std::vector<std::uint32_t>& pixels, const fs::path& path) {
  graphics::MemoryStream stream;
  const graphics::ArgbView view{kWidth, kHeight, pixels};
  if (graphics::SaveImageToStream(view, stream, graphics::kPngEncoderClsid, nullptr) != graphics::Ok) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto bytes = stream.Bytes();
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// This file's own static initialiser already finds the styles: a host's or a benchmark's
// global that asks for a renderer must not depend on the order in which files are linked.
const bool kStyleSeenDuringStaticInitialisation = static_cast<bool>(CreateStyleRenderer(31));

TEST(StyleTable, IsFilledBeforeOrdinaryStaticInitialisersRun) { EXPECT_TRUE(kStyleSeenDuringStaticInitialisation); }

class StyleReference : public ::testing::TestWithParam<int> {};

TEST_P(StyleReference, DrawsExactlyTheCommittedPicture) {
  const int style = GetParam();
  const auto drawn = testing::Draw(style, kCode, kState, kWidth, kHeight).pixels;
  if (Regenerating()) {
    ASSERT_TRUE(WritePng(drawn, ReferenceFile(style))) << ReferenceFile(style);
    GTEST_SKIP() << "wrote " << ReferenceFile(style);
  }

  const auto reference = graphics::testing::DecodePng(ReadFile(ReferenceFile(style)));
  ASSERT_TRUE(reference) << "no readable reference picture " << ReferenceFile(style)
                         << " (tools/make-style-references.sh makes it)";
  ASSERT_EQ(reference->width, kWidth);
  ASSERT_EQ(reference->height, kHeight);

  // Exact: the fonts, Cairo and the PNG codec are the project's own pinned Debian packages,
  // and the same state and code must give the same picture to the bit.
  int differing = 0;
  int firstX = -1, firstY = -1;
  for (int i = 0; i < kWidth * kHeight; ++i) {
    if (drawn[static_cast<std::size_t>(i)] == reference->pixels[static_cast<std::size_t>(i)]) continue;
    if (differing++ == 0) {
      firstX = i % kWidth;
      firstY = i / kWidth;
    }
  }
  if (differing != 0) {
    const fs::path actual = fs::temp_directory_path() / ("quillgate-style" + std::to_string(style) + "-actual.png");
    WritePng(drawn, actual);
    ADD_FAILURE() << "style " << style << ": " << differing << " pixels differ from " << ReferenceFile(style)
                  << ", the first at (" << firstX << ", " << firstY << "); the drawn picture is " << actual;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryDrawnStyle, StyleReference, ::testing::ValuesIn(DrawnStyles()),
                         [](const auto& info) { return "Style" + std::to_string(info.param); });

TEST(StyleReferences, EveryReferencePictureBelongsToADrawnStyle) {
  const std::vector<int> drawn = DrawnStyles();
  const std::set<int> styles(drawn.begin(), drawn.end());
  for (const auto& entry : fs::directory_iterator(ReferenceDirectory())) {
    const std::string name = entry.path().filename().string();
    int style = -1;
    ASSERT_EQ(std::sscanf(name.c_str(), "style%d.png", &style), 1) << "stray file " << name;
    EXPECT_TRUE(styles.count(style)) << name << " pins a style this build does not draw";
  }
}

}  // namespace
}  // namespace quillgate
