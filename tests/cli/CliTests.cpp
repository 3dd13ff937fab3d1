// Runs the quillgate command as a user would and checks what it prints, writes and exits with.
#include "tests/cli/CommandTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using quillgate::testing::FileText;
using Result = quillgate::testing::CommandResult;
using Cli = quillgate::testing::CommandTest;

const std::string kEmptySha512 =
    "CF83E1357EEFB8BDF1542850D66D8007D620E4050B5715DC83F4A921D36CE9CE"
    "47D0D13C5D85F2B0FF8318D2877EEC2F63B931BD47417A81A538327AF927DA3E";

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

TEST_F(Cli, HashPrintsTheUppercaseSha512) {
  const Result r = Run("hash ''");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kEmptySha512 + "\n");
}

TEST_F(Cli, ValidateExitsZeroOnlyForTheExactHash) {
  const std::string hash = Run("hash ABC").out.substr(0, 128);
  EXPECT_EQ(Run("validate ABC " + hash).exitCode, 0);
  std::string lower = hash;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Run("validate ABC " + lower).exitCode, 1);
  EXPECT_EQ(Run("validate abc " + hash).exitCode, 1);
}

TEST_F(Cli, NonAsciiTextIsHashedInTheComponentsCodePage) {
  // U+00E9 is the single byte E9 in the component's code page, so its hash is that of "\xE9",
  // not of the two UTF-8 bytes.
  const Result utf8 = Run("hash $'\\xc3\\xa9'");
  EXPECT_EQ(utf8.exitCode, 0);
  EXPECT_NE(utf8.out, Run("hash $'\\xc3\\x83\\xc2\\xa9'").out);
  EXPECT_NE(Run("hash $'\\xff'").exitCode, 0);  // not UTF-8
  // Refused with the place of the fault, by the same rule the runtime reads text with.
  const Result surrogate = Run("validate $'ab\\xed\\xa0\\x80' x");
  EXPECT_EQ(surrogate.exitCode, 2);
  EXPECT_NE(surrogate.err.find("byte 3 (0xED)"), std::string::npos) << surrogate.err;
  // Outside the code page a character becomes '?', as the README says.
  EXPECT_EQ(Run("hash $'\\xe6\\xbc\\xa2\\xe5\\xad\\x97'").out, Run("hash '?\?'").out);
}

TEST_F(Cli, CodeHonoursLengthAndType) {
  const Result r = Run("code --length 8 --type 2");
  ASSERT_EQ(r.exitCode, 0);
  ASSERT_EQ(r.out.size(), 9u);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(r.out[i])));
}

TEST_F(Cli, SoundOfACodeIgnoresLetterCase) {
  const Result upper = Run("sound --code AB12 -o upper.wav");
  ASSERT_EQ(upper.exitCode, 0) << upper.err;
  EXPECT_NE(upper.out.find("AB12"), std::string::npos);
  ASSERT_EQ(Run("sound --code ab12 -o lower.wav").exitCode, 0);
  const std::string wave = FileText(Work("upper.wav"));
  EXPECT_EQ(wave, FileText(Work("lower.wav")));
  ASSERT_GE(wave.size(), 44u);
  EXPECT_EQ(wave.substr(0, 4), "RIFF");
  EXPECT_EQ(Le32(wave, 24), 8000u);
  EXPECT_EQ(Le32(wave, 40) + 44, wave.size());
  EXPECT_EQ(Le32(wave, 4) + 8, wave.size());
}

TEST_F(Cli, SoundOfANewCodeSpeaksTheCodeItReports) {
  const Result fresh = Run("sound -o new.wav");
  ASSERT_EQ(fresh.exitCode, 0) << fresh.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_match(fresh.out, match, std::regex("Spoke code ([2-9A-Z]{5})\n"))) << fresh.out;
  // The reported code is the one spoken: saying it again gives the same WAV.
  ASSERT_EQ(Run("sound --code " + match[1].str() + " -o again.wav").exitCode, 0);
  const std::string wave = FileText(Work("new.wav"));
  EXPECT_GT(wave.size(), 44u);
  EXPECT_EQ(wave, FileText(Work("again.wav")));
}

TEST_F(Cli, SoundToStandardOutputKeepsTheReportOffTheData) {
  const Result r = Run("sound --code a -o -");
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.substr(0, 4), "RIFF");
  EXPECT_NE(r.err.find("Spoke code a"), std::string::npos);
}

TEST_F(Cli, AnUnspeakableCodeFailsAndLeavesNoFile) {
  const Result r = Run("sound --code 'a b' -o a.wav");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("Letter not found in lookup table !"), std::string::npos);
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(Work())) left.push_back(entry.path());
  EXPECT_TRUE(left.empty());
}

TEST_F(Cli, BadInputGivesAOneLineErrorAndNonZeroExit) {
  for (const char* arguments : {"code --length abc", "frobnicate", "validate ABC", "sound"}) {
    const Result r = Run(arguments);
    EXPECT_NE(r.exitCode, 0) << arguments;
    EXPECT_FALSE(r.err.empty()) << arguments;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << arguments << ": " << r.err;
  }
}

TEST_F(Cli, ExitStatusesFollowOneScheme) {
  // 0 success (also --help and --version), 1 validate's "no", 2 a failure while working,
  // 64 a usage error: whatever the parser's own error numbers are.
  const std::pair<const char*, int> cases[] = {
      {"--version", 0},
      {"code --help", 0},
      {"validate A 00", 1},
      {"sound --code 'a b' -o a.wav", 2},
      {"frobnicate", 64},
      {"code --length", 64},
      {"code --length 0", 64},
      {"code --bogus", 64},
      {"validate", 64},
      {"image --style 50 -o a.jpg", 64},
      {"", 64},
  };
  for (const auto& [arguments, status] : cases) {
    EXPECT_EQ(Run(arguments).exitCode, status) << arguments;
  }
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
      {"--listen 127.0.0.1:0 --store bogus", 2},
  };
  for (const auto& [arguments, status] : failures) {
    const Result r = Run("serve --quiet --secret-file keys " + arguments);
    EXPECT_EQ(r.exitCode, status) << arguments << ": " << r.err;
    EXPECT_FALSE(fs::exists(Work("keys"))) << arguments;
  }
  ::close(holder);
}

TEST_F(Cli, EveryCommandHasHelp) {
  for (const char* command : {"", "hash", "validate", "code", "sound"}) {
    const Result r = Run(std::string(command) + " --help");
    EXPECT_EQ(r.exitCode, 0) << command;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << command;
  }
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
  const std::string environment = "export QUILLGATE_REGISTRY='" + (Work("registry")).string() + "'; ";
  ASSERT_EQ(std::system(("cd '" + Work().string() + "' && " + environment + "build/quillgate register > /dev/null").c_str()), 0);
  for (const std::string& example : examples) {
    const std::string command = "cd '" + Work().string() + "' && " + environment + example + " > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << example;
  }
}

}  // namespace
