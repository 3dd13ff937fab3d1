// quillgate image | gallery, run as a user would.
#include "Styles/StyleRenderer.h"
#include "tests/cli/CommandTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using quillgate::testing::FileText;
using Outcome = quillgate::testing::CommandResult;
using ImageCli = quillgate::testing::CommandTest;

TEST_F(ImageCli, WritesTheImageAndReportsCodeAndHash) {
  const Outcome r = Run("image --code HELLO --format png --width 120 --height 40 -o captcha.png");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string image = FileText(Work("captcha.png"));
  ASSERT_GT(image.size(), 24u);
  EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(static_cast<unsigned char>(image[19]), 120);  // IHDR width, big-endian
  EXPECT_EQ(static_cast<unsigned char>(image[23]), 40);   // IHDR height
  const Outcome hash = Run("hash HELLO");
  EXPECT_EQ(r.out, "Code: HELLO\nHash: " + hash.out);
}

TEST_F(ImageCli, RandomCodeFollowsLengthAndType) {
  const Outcome r = Run("image --length 8 --type 2 --style 38 -o code.jpg");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("^Code: [0-9]{8}\nHash: [0-9A-F]{128}\n$"))) << r.out;
  EXPECT_EQ(FileText(Work("code.jpg")).substr(0, 3), "\xFF\xD8\xFF");
}

TEST_F(ImageCli, StandardOutputCarriesOnlyTheImage) {
  const Outcome r = Run("image --format bmp -o -");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 2), "BM");
  EXPECT_NE(r.err.find("Code: "), std::string::npos);
}

TEST_F(ImageCli, ComponentFailuresAreOneLineAndLeaveNoFile) {
  Outcome r = Run("image --format xyz -o bad.img");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(r.err, "quillgate: This picture format is not supported !\n");
  EXPECT_FALSE(fs::exists(Work("bad.img")));
  // Style and size are checked by the command, which names the option and its range.
  r = Run("image --style 50 -o bad.img");
  EXPECT_NE(r.err.find("--style: 50 is outside 0 to 49"), std::string::npos) << r.err;
  r = Run("image --width 0 -o bad.img");
  EXPECT_NE(r.err.find("--width: 0 is outside 1 to 32767"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Work("bad.img")));
}

TEST_F(ImageCli, TheOutputsExtensionChoosesTheFormatUnlessToldOtherwise) {
  const std::pair<const char*, std::string> files[] = {
      {"a.png", "\x89PNG"}, {"b.GIF", "GIF8"}, {"c.bmp", "BM"}, {"d.tif", "II*"}, {"e.jpeg", "\xFF\xD8\xFF"},
      {"f.img", "\xFF\xD8\xFF"},  // an unknown extension keeps the default, JPEG
  };
  for (const auto& [name, magic] : files) {
    ASSERT_EQ(Run(std::string("image -o ") + name).exitCode, 0) << name;
    EXPECT_EQ(FileText(Work(name)).substr(0, magic.size()), magic) << name;
  }
  // --format agreeing with the name, in any spelling, or naming an unknown extension's format.
  EXPECT_EQ(Run("image --format jpg -o g.jpeg").exitCode, 0);
  ASSERT_EQ(Run("image --format png -o h.dat").exitCode, 0);
  EXPECT_EQ(FileText(Work("h.dat")).substr(0, 4), "\x89PNG");
  ASSERT_EQ(Run("image --format gif -o -").exitCode, 0);
}

TEST_F(ImageCli, TheComponentsMessageSurvivesADamagedOrMissingRegistry) {
  // A failing Captcha looks up its ProgID in the registry for the error's source, so the
  // failure path reads the registry: neither a damaged nor a missing one may replace the
  // component's message, and the command must leave the registry as it found it.
  const std::string damaged = "[CLSID\n@=\"unclosed\n";
  std::ofstream(Work("registry")) << damaged;
  ::setenv("QUILLGATE_REGISTRY", (Work("registry")).c_str(), 1);
  const Outcome withDamaged = Run("image --format xyz -o bad.img");
  ::setenv("QUILLGATE_REGISTRY", (Work("absent") / "registry").c_str(), 1);
  const Outcome withMissing = Run("sound --code 'a b' -o bad.wav");
  ::unsetenv("QUILLGATE_REGISTRY");
  EXPECT_EQ(withDamaged.err, "quillgate: This picture format is not supported !\n");
  EXPECT_EQ(withMissing.err, "quillgate: Letter not found in lookup table !\n");
  EXPECT_EQ(FileText(Work("registry")), damaged);
  EXPECT_FALSE(fs::exists(Work("absent")));
}

TEST_F(ImageCli, GalleryShowsEveryAvailableStyle) {
  const Outcome r = Run("gallery -o shots");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string page = FileText(Work("shots") / "index.html");
  // Every style the build draws, whichever they are.
  std::vector<int> styles;
  for (int style = 0; style < 50; ++style) {
    if (quillgate::CreateStyleRenderer(style)) styles.push_back(style);
  }
  ASSERT_FALSE(styles.empty());
  for (int style : styles) {
    const std::string file = "style-" + std::to_string(style) + ".jpg";
    EXPECT_EQ(FileText(Work("shots") / file).substr(0, 3), "\xFF\xD8\xFF") << file;
    EXPECT_NE(page.find("<td>" + std::to_string(style) + "</td><td><img src=\"" + file + "\""),
              std::string::npos);
  }
  const std::regex code("<code>[2-9A-Z]{5}</code>");
  EXPECT_EQ(std::distance(std::sregex_iterator(page.begin(), page.end(), code), std::sregex_iterator()),
            static_cast<std::ptrdiff_t>(styles.size()));
}

}  // namespace
