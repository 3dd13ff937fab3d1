// Replacing files: both kinds of temporary, links followed or refused as their folder
// says, readers that never see half a file, and creation that never replaces anything.
#include "CommonUtilities/FileReplacement.h"
#include "tests/ShellOutput.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace quillgate {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;
using testing::FileText;
using testing::FolderNames;

constexpr uid_t kOtherUser = 65534;  // nobody

std::span<const unsigned char> Bytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

class FileReplacement : public ::testing::Test {
 protected:
  void SetUp() override { ::chmod(dir_.c_str(), 0755); }

  const quillgate::testing::TemporaryFolder folder_{"replace"};
  const fs::path& dir_ = folder_.Path();
};

TEST_F(FileReplacement, BothKindsOfTemporaryReplaceWholeFilesAndLeaveNothing) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
    ReplaceOptions options;
    options.unnamedTemporaries = unnamed;
    const fs::path file = dir_ / "out.bin";
    fs::remove(file);
    ReplaceFileContents(file, Bytes("first"), options);
    EXPECT_EQ(FileText(file), "first");
    ::chmod(file.c_str(), 0640);
    ReplaceFileContents(file, Bytes("second, longer"), options);
    EXPECT_EQ(FileText(file), "second, longer");
    EXPECT_EQ(static_cast<int>(fs::symlink_status(file).permissions()), 0640);
    EXPECT_EQ(FolderNames(dir_), Names{"out.bin"});
  }
}

TEST_F(FileReplacement, ReadersOfALinkedFileSeeTheOldOrTheNewContentNeverAMixture) {
  const std::string small(64 * 1024, 'a');
  const std::string large(96 * 1024, 'b');
  const fs::path link = dir_ / "link";
  ReplaceFileContents(dir_ / "target", Bytes(small));
  fs::create_symlink("target", link);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 300; ++i) ReplaceFileContents(link, Bytes(i % 2 == 0 ? large : small));
    done = true;
  });
  int torn = 0;
  while (!done) {
    const std::string seen = FileText(link);
    if (seen != small && seen != large) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
  EXPECT_EQ(FileText(dir_ / "target"), small);
  EXPECT_EQ(FolderNames(dir_), (Names{"link", "target"}));
}

TEST_F(FileReplacement, LinksThatLoopOrEndInAFolderAreRefused) {
  fs::create_symlink("b", dir_ / "a");
  fs::create_symlink("a", dir_ / "b");
  fs::create_directory(dir_ / "folder");
  fs::create_symlink("folder", dir_ / "to-folder");
  const std::pair<fs::path, std::string> refused[] = {
      {dir_ / "a", "Too many levels of symbolic links"},
      {dir_ / "to-folder", "Is a directory"},
      {dir_ / "folder/", "Is a directory"},
      {dir_ / "missing" / "x", "No such file or directory"},
  };
  for (const auto& [path, cause] : refused) {
    try {
      ReplaceFileContents(path, Bytes("x"));
      ADD_FAILURE() << path << " was written";
    } catch (const FileWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "cannot write " + path.string() + ": " + cause);
    }
  }
  // Through a link to a folder, a name in it is written like any other.
  ReplaceFileContents(dir_ / "to-folder" / "in.bin", Bytes("in"));
  EXPECT_EQ(FileText(dir_ / "folder" / "in.bin"), "in");
}

// The rule that keeps a link planted by one user from steering another's write, checked
// for every combination that matters. Links owned by someone else need root to make.
TEST_F(FileReplacement, InAStickyFolderOnlyTheCallersOrTheFolderOwnersLinksAreFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a link owned by another user needs root";
  struct Case {
    const char* what;
    mode_t folderMode;
    uid_t folderOwner;
    uid_t linkOwner;
    bool followed;
  };
  const Case cases[] = {
      {"another user's link in a sticky world-writable folder", 01777, 0, kOtherUser, false},
      {"the caller's own link there", 01777, 0, 0, true},
      {"the folder owner's link there", 01777, kOtherUser, kOtherUser, true},
      {"another user's link in a folder without the sticky bit", 0777, 0, kOtherUser, true},
      {"another user's link in a sticky folder only its owner writes", 01755, 0, kOtherUser, true},
  };
  const fs::path shared = dir_ / "shared";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* made : {"shared", "sub", "created"}) fs::remove_all(dir_ / made);
    fs::create_directory(shared);
    fs::create_directory(dir_ / "sub");
    ASSERT_EQ(::chown(shared.c_str(), c.folderOwner, c.folderOwner), 0);
    ASSERT_EQ(::chmod(shared.c_str(), c.folderMode), 0);
    std::ofstream(dir_ / "victim") << "root's own";
    // Links to a file that exists, to a name that does not yet, and to a folder.
    for (const char* target : {"victim", "created", "sub"}) {
      fs::create_symlink(fs::path("..") / target, shared / target);
      ASSERT_EQ(::lchown((shared / target).c_str(), c.linkOwner, c.linkOwner), 0);
    }
    int refused = 0;
    for (const fs::path& path : {shared / "victim", shared / "created", shared / "sub" / "x"}) {
      try {
        ReplaceFileContents(path, Bytes("image"));
      } catch (const FileWriteError& e) {
        ++refused;
        EXPECT_NE(std::string(e.what()).find("is a symbolic link that another user made in a sticky folder"),
                  std::string::npos)
            << e.what();
      }
    }
    EXPECT_EQ(refused, c.followed ? 0 : 3);
    EXPECT_EQ(FileText(dir_ / "victim"), c.followed ? "image" : "root's own");
    EXPECT_EQ(fs::exists(dir_ / "created"), c.followed);
    EXPECT_EQ(fs::exists(dir_ / "sub" / "x"), c.followed);
  }
}

TEST_F(FileReplacement, ANewFileIsCreatedWholeOnlyWhereNothingStands) {
  const mode_t previous = ::umask(0);
  const fs::path secret = dir_ / "secret";
  EXPECT_TRUE(CreateNewFile(secret, Bytes("key"), 0600));
  ::umask(previous);
  EXPECT_EQ(FileText(secret), "key");
  EXPECT_EQ(static_cast<int>(fs::symlink_status(secret).permissions()), 0600);
  EXPECT_FALSE(CreateNewFile(secret, Bytes("other"), 0600));
  EXPECT_EQ(FileText(secret), "key");
  // A dangling link is something standing there: it is neither followed nor replaced.
  fs::create_symlink("elsewhere", dir_ / "planted");
  EXPECT_FALSE(CreateNewFile(dir_ / "planted", Bytes("other"), 0600));
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
  EXPECT_EQ(FolderNames(dir_), (Names{"planted", "secret"}));
}

}  // namespace
}  // namespace quillgate
