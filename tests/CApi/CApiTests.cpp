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
#include <tuple>
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
  // Beyond ASCII the code is UTF-8, converted as the command converts it, so the hash is the
  // one a visitor typing what the picture shows produces. (Read as raw bytes, "é" would be
  // drawn as "Ã©" and hashed from C3 A9.)
  for (const std::string code : {"\xC3\xA9", "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC" "5"}) {  // é, Grüß €5
    captcha.SetCode(code);
    EXPECT_EQ(captcha.Code(), code);
    EXPECT_EQ(captcha.Hash() + "\n", ShellOutput(kCli + " hash '" + code + "'")) << code;
    EXPECT_TRUE(quillgate::Validate(code, captcha.Hash())) << code;
  }
}

// The size quillgate_draw_into asks for belongs to the picture it then hands out: each new
// drawing has new noise, so in a compressed format about half of them differ in size.
TEST(CApi, DrawIntoHandsOutThePictureWhoseSizeItReported) {
  for (const char* format : {"JPEG", "PNG", "GIF", "TIFF", "BMP"}) {
    quillgate_generator* g = nullptr;
    ASSERT_EQ(quillgate_create(&g), QUILLGATE_OK);
    ASSERT_EQ(quillgate_set_format(g, format), QUILLGATE_OK);
    int sameSize = 0;   // a second too-small call reports the same picture
    int handedOut = 0;  // a buffer of exactly that size then receives it
    int fresh = 0;      // once handed out, the next picture is a new drawing
    std::vector<unsigned char> previous;
    for (int round = 0; round < 100; ++round) {
      std::size_t needed = 0;
      std::size_t again = 0;
      unsigned char small[16] = {};
      ASSERT_EQ(quillgate_draw_into(g, nullptr, 0, &needed), QUILLGATE_BUFFER_TOO_SMALL);
      ASSERT_EQ(quillgate_draw_into(g, small, sizeof small, &again), QUILLGATE_BUFFER_TOO_SMALL);
      ASSERT_EQ(small[0], 0) << "a too-small buffer was written";
      std::vector<unsigned char> exact(needed);
      std::size_t used = 0;
      sameSize += again == needed;
      handedOut += quillgate_draw_into(g, exact.data(), exact.size(), &used) == QUILLGATE_OK && used == needed;
      fresh += exact != previous;
      previous = std::move(exact);
    }
    EXPECT_EQ(std::tuple(sameSize, handedOut, fresh), std::tuple(100, 100, 100)) << format;
    // A setting changed after a too-small call: the kept picture is discarded, even though
    // it would fit.
    std::vector<unsigned char> large(1 << 20);
    std::size_t used = 0;
    const auto drawnAfter = [&](const std::function<quillgate_status()>& change) {
      EXPECT_EQ(quillgate_draw_into(g, nullptr, 0, &used), QUILLGATE_BUFFER_TOO_SMALL);
      EXPECT_EQ(change(), QUILLGATE_OK);
      EXPECT_EQ(quillgate_draw_into(g, large.data(), large.size(), &used), QUILLGATE_OK);
      return DecodePng(std::span(large.data(), used));
    };
    const auto png = drawnAfter([&] { return quillgate_set_format(g, "PNG"); });
    ASSERT_TRUE(png.has_value()) << format << " kept across a change of format";
    const auto resized = drawnAfter([&] { return quillgate_set_size(g, 120, 30); });
    ASSERT_TRUE(resized.has_value());
    EXPECT_EQ(std::pair(resized->width, resized->height), std::pair(120, 30)) << "kept across a change of size";
    quillgate_destroy(g);
  }
}

quillgate_status Speak(quillgate_generator* g, const char* code) {
  if (const quillgate_status status = quillgate_set_code(g, code); status != QUILLGATE_OK) return status;
  unsigned char* bytes = nullptr;
  std::size_t size = 0;
  const quillgate_status status = quillgate_speak(g, &bytes, &size);
  quillgate_free(bytes);
  return status;
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
      {"newline in code", [&] { return quillgate_set_code(g, "AB\nHash"); }, QUILLGATE_INVALID_ARGUMENT,
       "control character U+000A (character 3)"},
      {"DEL in code", [&] { return quillgate_set_code(g, "AB\x7F"); }, QUILLGATE_INVALID_ARGUMENT, "U+007F"},
      {"C1 control in code", [&] { return quillgate_set_code(g, "A\xC2\x81"); }, QUILLGATE_INVALID_ARGUMENT, "U+0081"},
      {"1001 characters", [&] { return quillgate_set_code(g, longCode.c_str()); }, QUILLGATE_INVALID_ARGUMENT, "1001"},
      {"Latin-1, not UTF-8", [&] { return quillgate_set_code(g, "caf\xE9"); }, QUILLGATE_INVALID_ARGUMENT,
       "not valid UTF-8: byte 4 (0xE9)"},
      {"outside Windows-1252", [&] { return quillgate_set_code(g, "A\xE4\xB8\xAD"); }, QUILLGATE_INVALID_ARGUMENT,
       "U+4E2D '\xE4\xB8\xAD' (character 2), which the pictures cannot show"},
      {"beyond U+FFFF", [&] { return quillgate_set_code(g, "\xF0\x9F\x98\x80!"); }, QUILLGATE_INVALID_ARGUMENT,
       "U+1F600"},
      {"null output", [&] { return quillgate_draw(g, nullptr, &size); }, QUILLGATE_INVALID_ARGUMENT, "null"},
      // The voice has the letters and digits only; the message says which character it lacks.
      {"space spoken", [&] { return Speak(g, "AB C"); }, QUILLGATE_FAILED, "cannot speak ' ' (character 3 of the code)"},
      {"< spoken", [&] { return Speak(g, "<"); }, QUILLGATE_FAILED, "cannot speak '<' (character 1 of the code)"},
      {"\xC3\xA9 spoken", [&] { return Speak(g, "x\xC3\xA9"); }, QUILLGATE_FAILED, "cannot speak '\xC3\xA9' (character 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.status) << c.what;
    EXPECT_NE(std::string(quillgate_last_error(g)).find(c.message), std::string::npos)
        << c.what << ": " << quillgate_last_error(g);
  }
  // An answer no code can be matches nothing, though the command reads it as "?".
  ASSERT_EQ(quillgate_set_code(g, "?"), QUILLGATE_OK);
  ASSERT_EQ(quillgate_hash(g, hash), QUILLGATE_OK);
  EXPECT_EQ(quillgate_validate("?", hash), 1);
  EXPECT_EQ(quillgate_validate("\xE4\xB8\xAD", hash), 0);
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

// C strings end at a NUL: the wrapper refuses a string holding one rather than let the
// library see only its start ("AB\0CD" as the code "AB", an answer "AB\0..." as "AB").
TEST(CApi, TheWrapperRefusesStringsHoldingANul) {
  using namespace std::string_literals;
  quillgate::Generator captcha;
  captcha.SetCode("AB");
  const std::string hash = captcha.Hash();
  const std::function<void()> calls[] = {
      [&] { captcha.SetCode("AB\0CD"s); },
      [&] { captcha.SetFormat("PNG\0JPEG"s); },
      [&] { (void)quillgate::Validate("AB\0garbage"s, hash); },
      [&] { (void)quillgate::Validate("AB", hash + "\0"s); },
  };
  for (const auto& call : calls) {
    try {
      call();
      ADD_FAILURE() << "a string with a NUL was passed on";
    } catch (const quillgate::Error& e) {
      EXPECT_EQ(e.Status(), QUILLGATE_INVALID_ARGUMENT);
      EXPECT_NE(std::string(e.what()).find("holds a NUL character"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(captcha.Code(), "AB");
  EXPECT_TRUE(quillgate::Validate("AB", hash));
}

// The accepting end of every range, as the header states it.
TEST(CApi, EveryRangeAcceptsItsEnds) {
  quillgate::Generator captcha;
  captcha.SetFormat("bmp");
  // Style 49, the last; heights below 10 are drawn 10 high, 10 and above as asked.
  for (const auto& [style, width, height, drawnHeight] :
       {std::tuple(49, 1, 1, 10), std::tuple(0, 7, 9, 10), std::tuple(49, 60, 10, 10), std::tuple(0, 60, 11, 11)}) {
    const auto image = DecodeBmp(captcha.SetStyle(style).SetSize(width, height).Draw());
    ASSERT_TRUE(image.has_value()) << style;
    EXPECT_EQ(std::pair(image->image.width, image->image.height), std::pair(width, drawnHeight)) << style;
  }
  // Random codes of 1000 characters, of each alphabet; 1000 characters given, even when
  // they take more bytes.
  for (const auto& [type, alphabet] : {std::pair(0, "[2-9A-Z]"), std::pair(1, "[A-Z]"), std::pair(2, "[0-9]")}) {
    const std::string code = captcha.SetCodeLength(1000).SetCodeType(type).NewCode().Code();
    EXPECT_TRUE(std::regex_match(code, std::regex(std::string(alphabet) + "{1000}"))) << code;
  }
  std::string longest(999, 'A');
  longest += "\xC3\xA9";
  EXPECT_EQ(captcha.SetCode(longest).Code(), longest);
  // Every letter in either case and every digit is spoken.
  EXPECT_GT(captcha.SetCode("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789").Speak().size(), 44u);
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
