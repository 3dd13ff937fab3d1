// Runs the quillgate command as a user would and checks what it prints, writes and exits
// with: the text commands, sounds, images and the gallery.
#include "tests/cli/CommandTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using quillgate::testing::FileText;
using Result = quillgate::testing::CommandResult;
using Cli = quillgate::testing::CommandTest;
using ImageCli = quillgate::testing::CommandTest;

TEST_F(Cli, NonAsciiTextIsHashedInTheComponentsCodePage) {
  // U+00E9 is the single byte E9 in the component's code page, so its hash is that of "\xE9",
  // not of the two UTF-8 bytes.
  const Result utf8 = Run("hash $'\\xc3\\xa9'");
  EXPECT_EQ(utf8.exitCode, 0);
  EXPECT_NE(utf8.out, Run("hash $'\\xc3\\x83\\xc2\\xa9'").out);
  // Refused with the place of the fault, by the same rule the runtime reads text with, as a
  // usage error.
  const Result surrogate = Run("validate $'ab\\xed\\xa0\\x80' x");
  EXPECT_EQ(surrogate.exitCode, 64);
  EXPECT_NE(surrogate.err.find("byte 3 (0xED)"), std::string::npos) << surrogate.err;
  // Outside the code page a character becomes '?', as the README says.
  EXPECT_EQ(Run("hash $'\\xe6\\xbc\\xa2\\xe5\\xad\\x97'").out, Run("hash '?\?'").out);
}

TEST_F(Cli, CodeHonoursLengthAndType) {
  const Result r = Run("code --length 1000 --type 2");  // the longest allowed, digits only
  ASSERT_EQ(r.exitCode, 0);
  ASSERT_EQ(r.out.size(), 1001u);
  EXPECT_EQ(r.out.find_first_not_of("0123456789"), 1000u) << r.out;
}

TEST_F(Cli, SoundOfANewCodeSpeaksTheCodeItReportsAndKeepsTheReportOffTheData) {
  const Result fresh = Run("sound -o new.wav");
  ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_match(fresh.out, match, std::regex("Spoke code ([2-9A-Z]{5})\n")))
      << fresh.out;
  // The reported code is the one spoken: saying it again, to standard output, gives the same
  // WAV there, and the report goes to standard error.
  const Result again = Run("sound --code " + match[1].str() + " -o -");
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_GT(again.out.size(), 44u);
  EXPECT_EQ(again.out, FileText(Work("new.wav")));
  EXPECT_NE(again.err.find("Spoke code " + match[1].str()), std::string::npos) << again.err;
}

TEST_F(Cli, ExitStatusesFollowOneSchemeAndFailuresSayWhyInOneLine) {
  // 0 success (also --help and --version), 1 validate's "no", 2 a failure while working,
  // 64 a usage error: whatever the parser's own error numbers are. (Values the options refuse
  // are usage errors too: Output.CommandsRefuseInputsTheyCannotUse. A right answer exiting 0
  // is the README's validate example, which TheReadmesExamples runs. That the failed sound
  // leaves no file is TheComponentsMessageSurvivesADamagedOrMissingRegistry's.)
  const std::pair<const char*, int> cases[] = {
      {"--version", 0},
      {"--help", 0},
      {"sound --help", 0},  // every command has its help, as the parser gives each one
      {"validate A 00", 1},
      {"sound --code 'a b' -o a.wav", 2},
      {"frobnicate", 64},
      {"code --length", 64},
      {"code --bogus", 64},
      {"validate ABC", 64},
      {"", 64},
  };
  for (const auto& [arguments, status] : cases) {
    const Result r = Run(arguments);
    EXPECT_EQ(r.exitCode, status) << arguments;
    if (status > 1) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
  EXPECT_NE(Run("sound --help").out.find("Usage"), std::string::npos) << "help on standard output";
  const Result version = Run("--version");
  EXPECT_TRUE(std::regex_match(version.out, std::regex("quillgate [0-9]+\\.[0-9]+(\\.[0-9]+)*\n"))) << version.out;
  // An unknown command is named, with the ones that exist, rather than "a command is required".
  const Result unknown = Run("imgae -o a.jpg");
  EXPECT_NE(unknown.err.find("unknown command 'imgae'"), std::string::npos) << unknown.err;
  EXPECT_NE(unknown.err.find("image"), unknown.err.find("'imgae'")) << unknown.err;
}

TEST_F(Cli, ServeChecksEverythingBeforeCreatingItsSecretFile) {
  // A listening socket holds a port, so that binding it fails.
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(holder, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  socklen_t length = sizeof address;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string busy = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  const std::pair<std::string, int> failures[] = {
      {"--listen nonsense", 64},
      {"--listen 127.0.0.1:70000", 64},
      {"--listen " + busy, 2},
      {"--listen 127.0.0.1:0 --sites absent.json", 2},
      {"--listen 127.0.0.1:0 --metrics-listen " + busy, 2},
      {"--listen 127.0.0.1:0 --metrics-listen nonsense", 64},
      {"--listen 127.0.0.1:0 --store bogus", 64},
      {"--listen 127.0.0.1:0 --store redis://host:99999", 64},
      {"--listen 127.0.0.1:0 --trust-proxy 10.0.0.0/33", 64},
  };
  for (const auto& [arguments, status] : failures) {
    const Result r = Run("serve --quiet --secret-file keys " + arguments);
    EXPECT_EQ(r.exitCode, status) << arguments << ": " << r.err;
    EXPECT_FALSE(fs::exists(Work("keys"))) << arguments;
  }
  ::close(holder);
}

TEST_F(ImageCli, WritesTheImageAndReportsCodeAndHash) {
  const Result r = Run("image --code HELLO --format png --width 120 --height 40 -o captcha.png");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string image = FileText(Work("captcha.png"));
  ASSERT_GT(image.size(), 24u);
  EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(static_cast<unsigned char>(image[19]), 120);  // IHDR width, big-endian
  EXPECT_EQ(static_cast<unsigned char>(image[23]), 40);   // IHDR height
  const Result hash = Run("hash HELLO");
  EXPECT_EQ(r.out, "Code: HELLO\nHash: " + hash.out);
}

TEST_F(ImageCli, RandomCodeFollowsLengthAndTypeAndStandardOutputCarriesOnlyTheImage) {
  const Result r = Run("image --length 8 --type 2 --style 38 --format bmp -o -");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, 2), "BM");
  EXPECT_TRUE(std::regex_match(r.err, std::regex("Code: [0-9]{8}\nHash: [0-9A-F]{128}\n")))
      << r.err;
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
}

TEST_F(ImageCli, TheComponentsMessageSurvivesADamagedOrMissingRegistry) {
  // A failing Captcha looks up its ProgID in the registry for the error's source, so the
  // failure path reads the registry: neither a damaged nor a missing one may replace the
  // component's message, and the command must leave the registry as it found it.
  const std::string damaged = "[CLSID\n@=\"unclosed\n";
  std::ofstream(Work("registry")) << damaged;
  const Result withDamaged =
      Script("QUILLGATE_REGISTRY=registry \"$Q\" sound --code 'a b' -o x.wav");
  const Result withMissing =
      Script("QUILLGATE_REGISTRY=absent/registry \"$Q\" sound --code 'a b' -o x.wav");
  EXPECT_EQ(withDamaged.err, "quillgate: Letter not found in lookup table !\n");
  EXPECT_EQ(withMissing.err, "quillgate: Letter not found in lookup table !\n");
  EXPECT_EQ(FileText(Work("registry")), damaged);
  EXPECT_EQ(Names(), std::set<std::string>{"registry"}) << "neither a file nor a folder was made";
}

TEST_F(ImageCli, GalleryShowsEveryAvailableStyle) {
  const Result r = Run("gallery -o shots");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string page = FileText(Work("shots") / "index.html");
  // Every style: that the build draws all fifty is the engine's test.
  for (int style = 0; style < 50; ++style) {
    const std::string file = "style-" + std::to_string(style) + ".jpg";
    EXPECT_EQ(FileText(Work("shots") / file).substr(0, 3), "\xFF\xD8\xFF") << file;
    EXPECT_NE(page.find("<td>" + std::to_string(style) + "</td><td><img src=\"" + file + "\""),
              std::string::npos);
  }
  const std::regex code("<code>[2-9A-Z]{5}</code>");
  const std::sregex_iterator codes(page.begin(), page.end(), code);
  EXPECT_EQ(std::distance(codes, std::sregex_iterator()), 50);
}

// The README's command lines run as written, from a folder whose build/ is this build: every
// one that names no placeholder (TEXT, FILE, [--option] ...) and starts no server.
TEST_F(Cli, TheReadmesExamplesRunAsWritten) {
  std::ifstream readme(QUILLGATE_README);
  std::vector<std::string> examples;
  const std::regex placeholder(R"(\b(TEXT|ANSWER|HASH|FILE|DIR|STEP|PATH|CODE)\b|\[|\bserve\b)");
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("    build/quillgate ", 0) != 0 || std::regex_search(line, placeholder)) continue;
    examples.push_back(line.substr(4));
  }
  ASSERT_GE(examples.size(), 8u);
  fs::create_directory_symlink(fs::path(QUILLGATE_CLI).parent_path(), Work("build"));
  ASSERT_EQ(Script("build/quillgate register > /dev/null").exitCode, 0);
  for (const std::string& example : examples) {
    EXPECT_EQ(Script(example + " > /dev/null 2>&1").exitCode, 0) << example;
  }
}

}  // namespace
