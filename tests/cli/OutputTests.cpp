// Where the commands' bytes go: files of every kind, standard output, and refused inputs.
#include "tests/cli/CommandTest.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

using quillgate::testing::FileText;
using Shell = quillgate::testing::CommandResult;
using Output = quillgate::testing::CommandTest;

bool IsJpeg(const std::string& bytes) { return bytes.rfind("\xFF\xD8\xFF", 0) == 0; }

TEST_F(Output, EachKindOfTargetIsWrittenAsItsKindNeeds) {
  const std::string longName(254, 'n');
  struct Case {
    const char* what;
    std::string setup;   // shell, before the command
    std::string target;  // the -o argument
    std::string check;   // shell, after; exit 0 when the target is as it should be
    std::set<std::string> names;  // the folder afterwards
    std::string written;          // the file that holds the image
  };
  const Case cases[] = {
      // A new file takes the old one's place whole (a reader of the old one never sees
      // half a picture), with the old one's mode.
      {"replaced, mode 0600 kept", "echo old > p.jpg && chmod 600 p.jpg && stat -c %i p.jpg > ../inode", "p.jpg",
       "[ \"$(stat -c %a p.jpg)\" = 600 ] && [ \"$(stat -c %i p.jpg)\" != \"$(cat ../inode)\" ]", {"p.jpg"},
       "p.jpg"},
      {"symlink written through", "ln -s victim.jpg link.jpg", "link.jpg",
       "[ -L link.jpg ] && [ -f victim.jpg ]", {"link.jpg", "victim.jpg"}, "victim.jpg"},
      {"hard links stay linked", "echo old > a.jpg && ln a.jpg b.jpg", "a.jpg",
       "[ \"$(stat -c %h a.jpg)\" = 2 ] && cmp -s a.jpg b.jpg", {"a.jpg", "b.jpg"}, "b.jpg"},
      {"FIFO fed, not replaced", "mkfifo pipe && (cat pipe > fed.jpg &)", "pipe",
       "[ -p pipe ] && sleep 0.2", {"pipe", "fed.jpg"}, "fed.jpg"},
      // A new file, its name near the longest a folder allows.
      {"254-character name", "", longName, "[ -f " + longName + " ]", {longName}, longName},
  };
  for (const Case& c : cases) {
    for (const auto& name : Names()) fs::remove(Work(name));
    const Shell r = Script(c.setup + "\n\"$Q\" image -o '" + c.target + "' || exit 1\n" + c.check);
    EXPECT_EQ(r.exitCode, 0) << c.what << ": " << r.err;
    EXPECT_EQ(Names(), c.names) << c.what;
    EXPECT_TRUE(IsJpeg(FileText(Work(c.written)))) << c.what;
  }
}

TEST_F(Output, FailuresNameTheirCauseAndLeaveNothingBehind) {
  fs::create_directory(Work("adir"));
  Shell r = Script("\"$Q\" image -o adir");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_EQ(r.err, "quillgate: cannot write adir: Is a directory\n");
  // A write cut short (here by a file-size limit) leaves neither a partial file nor a
  // temporary, and an existing file keeps its old bytes.
  std::ofstream(Work("kept.bmp")) << "old";
  r = Script("ulimit -f 8; trap '' XFSZ\n"
          "\"$Q\" image --format bmp --width 400 --height 400 -o big.bmp; a=$?\n"
          "\"$Q\" image --format bmp --width 400 --height 400 -o kept.bmp; b=$?\n"
          "[ $a -ne 0 ] && [ $b -ne 0 ]");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("cannot write big.bmp: File too large"), std::string::npos) << r.err;
  EXPECT_EQ(Names(), (std::set<std::string>{"adir", "kept.bmp"}));
  EXPECT_EQ(FileText(Work("kept.bmp")), "old");
}

TEST_F(Output, AWriteKilledHalfwayLeavesNoTemporaryBehind) {
  // Killed the moment it holds a file in the folder open: the output being written.
  const Shell r = Script(
      "\"$Q\" image --format bmp --width 4096 --height 4096 -o big.bmp > /dev/null & child=$!\n"
      "until readlink /proc/$child/fd/* | grep -q \"^$PWD/\"; do\n"
      "  kill -0 $child || exit 1\n"
      "done 2> /dev/null\n"
      "kill -KILL $child && ! wait $child");
  ASSERT_EQ(r.exitCode, 0) << "the command ended before its output was seen open";
  EXPECT_TRUE(Names().empty()) << *Names().begin();
}

// A file's bytes reach the disk before it takes its name, so that a crash leaves the old
// file or the whole new one, never a named file of zeros. Seen from outside: the calls the
// command makes, logged by a preloaded library.
TEST_F(Output, AFileIsSyncedBeforeItTakesItsName) {
#if defined(QUILLGATE_SANITIZED_BUILD)
  GTEST_SKIP() << "the sanitizer runtime must be the first library loaded, ahead of any preloaded one";
#else
  const fs::path log = Work("calls.log");
  for (const char* what : {"new file", "replaced file"}) {
    fs::remove(log);
    const Shell r = Script("LD_PRELOAD='" QUILLGATE_CALL_ORDER_LOG "' QUILLGATE_CALL_LOG='" + log.string() +
                        "' \"$Q\" image --format bmp -o out.bmp");
    ASSERT_EQ(r.exitCode, 0) << what << ": " << r.err;
    // The file written last before the first publish must be synced after its last write
    // and before that publish.
    const std::string calls = FileText(log);
    const std::size_t publish = calls.find("publish");
    const std::size_t write = calls.rfind("write ", publish);
    ASSERT_TRUE(publish != std::string::npos && write != std::string::npos)
        << what << ": the log shows no write and publish:\n" << calls;
    const std::string fd = calls.substr(write + 6, calls.find('\n', write) - write - 6);
    EXPECT_NE(calls.substr(write, publish - write).find("sync " + fd + "\n"), std::string::npos)
        << what << ": published unsynced:\n" << calls;
  }
#endif
}

TEST_F(Output, AWritableFileInAReadOnlyFolderIsWrittenInPlace) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
  const Shell r = Script("echo old > f.jpg && chmod 555 . && \"$Q\" image -o f.jpg");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(IsJpeg(FileText(Work("f.jpg"))));
  EXPECT_EQ(Names(), std::set<std::string>{"f.jpg"});
}

TEST_F(Output, AFullOrClosedStandardOutputIsAnError) {
  // The small BMP fits the output's buffer: its failure shows only when that is flushed.
  // (Sounds go out through the images' writer.)
  for (const char* command : {"code > /dev/full", "code >&-", "image -o - > /dev/full", "image -o - >&-",
                              "image --format bmp --width 20 --height 10 -o - > /dev/full"}) {
    const Shell r = Run(command);
    EXPECT_EQ(r.exitCode, 2) << command;
    EXPECT_EQ(r.err.rfind("quillgate: cannot write to standard output: ", 0), 0u) << command << ": " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << command << ": one line";
  }
}

TEST_F(Output, AutomateKeepsItsReportsOffStandardOutputWhenDataGoesThere) {
  const Shell r = Script("\"$Q\" register --registry reg '" QUILLGATE_MODULE_PATH "' > /dev/null || exit 3\n"
                      "\"$Q\" automate --registry reg 'CreateImage>-' GetValue");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(IsJpeg(r.out));
  EXPECT_EQ(r.out.find("GetValue"), std::string::npos) << "nothing after the image bytes";
  EXPECT_NE(r.err.find("bytes written to -"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("GetValue = "), std::string::npos) << r.err;
}

TEST_F(Output, CommandsRefuseInputsTheyCannotUse) {
  const std::string longCode(1001, 'A');
  // One row per check and one per command's use of it: image and sound share the code's.
  const std::pair<std::string, std::string> refused[] = {
      {"code --type 99", "--type: 99 is outside 0 to 2"},
      {"code --length 1001", "--length: 1001 is outside 1 to 1000"},
      {"image --style '' -o x.jpg", "--style: '' is not a whole number"},
      {"image --style 50 -o x.jpg", "--style: 50 is outside 0 to 49"},
      {"image --length 0 -o x.jpg", "--length: 0 is outside 1 to 1000"},
      {"image --code " + longCode + " -o x.jpg", "--code: the code has 1001 characters"},
      {"sound --code '' -o x.wav", "--code: the code is empty"},
      {"image --code $'AB\\nHash: 00' -o x.jpg", "--code: the code holds the control character 0x0A"},
      {"image --width 40000 -o x.jpg", "--width: 40000 is outside 1 to 32767"},
      {"image --width 20000 --height 20000 -o x.jpg", "20000 x 20000 is more than 67108864 pixels"},
      {"image --format png -o x.gif", "--format: png contradicts the name x.gif, which says GIF"},
      {"image --format png -o x.jpe", "--format: png contradicts the name x.jpe, which says JPEG"},
      {"image --format gif -o x.jpg", "--format: gif contradicts the name x.jpg, which says JPEG"},
      {"image --format gif -o x.JPG", "--format: gif contradicts the name x.JPG, which says JPEG"},
      {"image --format xyz -o x.img", "--format: 'xyz' is not an image format"},
      // Text that is not UTF-8, wherever it is given.
      {"image --code $'AB\\xff' -o x.jpg", "--code: the text is not valid UTF-8: byte 3 (0xFF)"},
      {"hash $'\\xff'", "TEXT: the text is not valid UTF-8: byte 1 (0xFF)"},
      // automate checks every step before the first runs: unbounded, these drew until
      // killed or wrote gigabytes.
      {"automate 'CreateImage>a.jpg' CodeLength=2147483647 CreateImage",
       "CodeLength=2147483647: 2147483647 is outside 1 to 1000"},
      {"automate codelength=0 GetValue", "codelength=0: 0 is outside 1 to 1000"},
      {"automate ImageWidth=40000 CreateImage", "ImageWidth=40000: 40000 is outside 1 to 32767"},
      {"automate 'CreateImage>a.jpg' 'GetValue(x'", "step 'GetValue(x' has an unclosed '(' or quote"},
      {"automate 'CreateSoundFromCode(\"" + longCode + "\")>a.wav'",
       "the code has 1001 characters"},
  };
  for (const auto& [command, message] : refused) {
    const Shell r = Run(command);
    EXPECT_EQ(r.exitCode, 64) << command << ": a usage error";
    EXPECT_NE(r.err.find(message), std::string::npos) << command << ": " << r.err;
  }
  EXPECT_TRUE(Names().empty());
  // The code's limit itself is allowed, in characters, not bytes: 1000 times U+00E9.
  std::string accented;
  for (int i = 0; i < 1000; ++i) accented += "\xC3\xA9";
  EXPECT_EQ(Run("image --format bmp --style 30 --code " + accented + " -o x.bmp").exitCode, 0);
}

}  // namespace
