// The public C library and its C++ wrapper, used as a program uses them: objects that share
// nothing, codes drawn and spoken as given, refusals with a message, the exported names,
// and the Python example.
#include <quillgate/quillgate.h>
#include <quillgate/quillgate.hpp>

#include "tests/Platform/Graphics/ImageDecoders.h"
#include "tests/ShellOutput.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using quillgate::graphics::testing::DecodeBmp;
using quillgate::graphics::testing::DecodeJpeg;
using quillgate::graphics::testing::DecodePng;
using quillgate::testing::ExportedNames;
using quillgate::testing::FileBytes;
using quillgate::testing::FileText;
using quillgate::testing::Quoted;
using quillgate::testing::ShellOutput;

const std::string kCli = std::string("'") + QUILLGATE_CLI + "'";

TEST(CApi, ObjectsOnDifferentThreadsKeepTheirOwnSettingsAndCodes) {
  struct Drawn {
    std::string code;
    std::vector<std::vector<unsigned char>> images;
    std::string hash;  // taken last: it validates `code` only if the code never changed
  };
  Drawn png;
  Drawn bmp;
  const auto drawAll = [](quillgate::Generator& captcha, Drawn& drawn) {
    drawn.code = captcha.Code();
    for (int round = 0; round < 15; ++round) drawn.images.push_back(captcha.Draw());
    drawn.hash = captcha.Hash();
  };
  // Two objects that differ in every setting draw at once, each on a thread of its own.
  std::thread first([&] {
    quillgate::Generator captcha;
    captcha.SetStyle(31).SetSize(300, 60).SetFormat("png").SetCode("HELLO");
    drawAll(captcha, png);
  });
  std::thread second([&] {
    quillgate::Generator captcha;
    captcha.SetStyle(5).SetSize(200, 40).SetFormat("BMP").SetCodeType(1).SetCodeLength(7);
    captcha.NewCode();
    drawAll(captcha, bmp);
  });
  first.join();
  second.join();
  EXPECT_EQ(png.code, "HELLO");
  EXPECT_TRUE(std::regex_match(bmp.code, std::regex("[A-Z]{7}"))) << bmp.code;
  for (const Drawn* drawn : {&png, &bmp}) {
    EXPECT_TRUE(quillgate::Validate(drawn->code, drawn->hash)) << drawn->code;
  }
  // Each drawing draws from a random source of its own, seeded afresh: the same code and
  // settings never give a predictable picture.
  EXPECT_NE(png.images.front(), png.images.back());
  for (const auto& image : png.images) {
    const auto decoded = DecodePng(image);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(std::pair(decoded->width, decoded->height), std::pair(300, 60));
  }
  for (const auto& image : bmp.images) {
    const auto decoded = DecodeBmp(image);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(std::pair(decoded->image.width, decoded->image.height), std::pair(200, 40));
  }
}

TEST(CApi, AGivenCodeIsDrawnSpokenAndHashedAsTheCommandLineDoes) {
  quillgate::Generator captcha;
  captcha.SetCode("AB12");
  EXPECT_EQ(captcha.Hash() + "\n", ShellOutput(kCli + " hash AB12"));
  const std::vector<unsigned char> wave = captcha.Speak();
  const std::string spoken = ShellOutput(kCli + " sound --code AB12 -o - 2>/dev/null");
  EXPECT_EQ(std::string(wave.begin(), wave.end()), spoken);
  // Drawing into the caller's buffer: too small says how much is needed, and copies nothing.
  std::vector<unsigned char> buffer(16, 0xEE);
  try {
    (void)captcha.DrawInto(buffer);
    ADD_FAILURE() << "a 16-byte buffer held an image";
  } catch (const quillgate::Error& e) {
    EXPECT_EQ(e.Status(), QUILLGATE_BUFFER_TOO_SMALL);
  }
  EXPECT_EQ(buffer, std::vector<unsigned char>(16, 0xEE));
  buffer.resize(1 << 20);
  const std::size_t used = captcha.DrawInto(buffer);
  EXPECT_TRUE(DecodeJpeg(std::span(buffer.data(), used)).has_value());
  // A buffer of exactly the size asked for is enough (a BMP's size does not vary).
  quillgate_generator* g = nullptr;
  ASSERT_EQ(quillgate_create(&g), QUILLGATE_OK);
  ASSERT_EQ(quillgate_set_format(g, "BMP"), QUILLGATE_OK);
  std::size_t needed = 0;
  ASSERT_EQ(quillgate_draw_into(g, nullptr, 0, &needed), QUILLGATE_BUFFER_TOO_SMALL);
  std::vector<unsigned char> exact(needed);
  EXPECT_EQ(quillgate_draw_into(g, exact.data(), exact.size(), &needed), QUILLGATE_OK) << quillgate_last_error(g);
  quillgate_destroy(g);
}

TEST(CApi, BadArgumentsGiveAStatusAndAMessageNeverACrash) {
  quillgate_generator* g = nullptr;
  ASSERT_EQ(quillgate_create(&g), QUILLGATE_OK);
  unsigned char* bytes = nullptr;
  std::size_t size = 0;
  char hash[QUILLGATE_HASH_SIZE];
  const std::string longCode(1001, 'A');
  struct Case {
    const char* what;
    std::function<quillgate_status()> call;
    quillgate_status status;
    const char* message;
  };
  const Case cases[] = {
      {"hash before any code", [&] { return quillgate_hash(g, hash); }, QUILLGATE_INVALID_ARGUMENT, "no current code"},
      {"style 50", [&] { return quillgate_set_style(g, 50); }, QUILLGATE_INVALID_ARGUMENT, "style: 50 is outside 0 to 49"},
      {"width 0", [&] { return quillgate_set_size(g, 0, 50); }, QUILLGATE_INVALID_ARGUMENT, "width: 0 is outside 1 to 32767"},
      {"too many pixels", [&] { return quillgate_set_size(g, 30000, 30000); }, QUILLGATE_INVALID_ARGUMENT, "pixels"},
      {"length 0", [&] { return quillgate_set_code_length(g, 0); }, QUILLGATE_INVALID_ARGUMENT, "outside 1 to 1000"},
      {"type 3", [&] { return quillgate_set_code_type(g, 3); }, QUILLGATE_INVALID_ARGUMENT, "outside 0 to 2"},
      {"format xyz", [&] { return quillgate_set_format(g, "xyz"); }, QUILLGATE_INVALID_ARGUMENT, "'xyz' is not one of"},
      {"null format", [&] { return quillgate_set_format(g, nullptr); }, QUILLGATE_INVALID_ARGUMENT, "null"},
      {"empty code", [&] { return quillgate_set_code(g, ""); }, QUILLGATE_INVALID_ARGUMENT, "the code is empty"},
      {"newline in code", [&] { return quillgate_set_code(g, "AB\nHash"); }, QUILLGATE_INVALID_ARGUMENT, "0x0A"},
      {"DEL in code", [&] { return quillgate_set_code(g, "AB\x7F"); }, QUILLGATE_INVALID_ARGUMENT, "0x7F"},
      {"1001 characters", [&] { return quillgate_set_code(g, longCode.c_str()); }, QUILLGATE_INVALID_ARGUMENT, "1001"},
      {"null output", [&] { return quillgate_draw(g, nullptr, &size); }, QUILLGATE_INVALID_ARGUMENT, "null"},
      {"unspeakable code",
       [&] {
         quillgate_set_code(g, "A-B");
         return quillgate_speak(g, &bytes, &size);
       },
       QUILLGATE_FAILED, "Letter not found in lookup table !"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.status) << c.what;
    EXPECT_NE(std::string(quillgate_last_error(g)).find(c.message), std::string::npos)
        << c.what << ": " << quillgate_last_error(g);
  }
  // Refused settings left the defaults: the image is still a 250 x 50 JPEG.
  ASSERT_EQ(quillgate_draw(g, &bytes, &size), QUILLGATE_OK) << quillgate_last_error(g);
  EXPECT_STREQ(quillgate_last_error(g), "") << "a success clears the message";
  const auto image = DecodeJpeg(std::span(bytes, size));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->image.width, 250);
  quillgate_free(bytes);
  // A null object is refused by every call (those that return a status share one check).
  EXPECT_EQ(quillgate_draw(nullptr, &bytes, &size), QUILLGATE_INVALID_ARGUMENT);
  EXPECT_STRNE(quillgate_last_error(nullptr), "");
  EXPECT_STREQ(quillgate_code(nullptr), "");
  EXPECT_EQ(quillgate_validate(nullptr, "00"), 0);
  quillgate_destroy(g);
  quillgate_destroy(nullptr);
}

// What leaves the library is exactly what its header declares.
TEST(CApi, TheLibraryExportsExactlyItsHeadersFunctions) {
  const std::string text = FileText(QUILLGATE_HEADER);
  std::set<std::string> declared;
  const std::regex declaration(R"(QUILLGATE_API[^;(]*\b(quillgate_\w+)\()");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), declaration); it != std::sregex_iterator(); ++it) {
    declared.insert((*it)[1]);
  }
  ASSERT_GE(declared.size(), 15u);
  EXPECT_EQ(ExportedNames(QUILLGATE_LIBRARY), declared);
}

// The Python example, which reaches the library through ctypes. (The C and C++ examples are
// built against an installed prefix and run by the install tests.)
TEST(CApi, ThePythonExampleMakesACaptcha) {
#ifdef QUILLGATE_SANITIZED_BUILD
  GTEST_SKIP() << "python3 cannot load a library built with a sanitizer";
#endif
  const quillgate::testing::TemporaryFolder folder("examples");
  const fs::path image = folder / "python.png";
  int status = -1;
  const std::string command = "QUILLGATE_LIBRARY=" + Quoted(QUILLGATE_LIBRARY) + " python3 " +
                              Quoted(QUILLGATE_EXAMPLE_PY) + " " + Quoted(image);
  const std::string printed = ShellOutput(command, &status);
  EXPECT_EQ(status, 0);
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(printed, parts, std::regex("([2-9A-Z]{5}) ([0-9A-F]{128})\n")))
      << printed;
  EXPECT_TRUE(quillgate::Validate(parts[1], parts[2]));
  const auto decoded = DecodePng(FileBytes(image));
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->width, 250);
}

}  // namespace
