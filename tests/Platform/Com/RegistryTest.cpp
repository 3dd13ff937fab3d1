// The registry file: its form, its damage checks, and writers that do not lose each other's
// changes.
#include "Platform/Com/Registry.h"
#include "tests/Platform/Com/TempRegistry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

namespace quillgate::com::registry {
namespace {

using testing::TempRegistry;

TEST(RegistryFile, RoundTripsAwkwardTextAndEmptyKeys) {
  Key root;
  Key& key = root.Create("Some.Key\\Sub key [x]");
  key.defaultValue = "quote \" backslash \\ newline \n tab \t delete \x7F" " end";
  key.values["Name with = sign"] = "";
  root.Create("Empty");
  root.Create("Empty default").defaultValue = "";
  const std::string text = Serialize(root);
  const Key back = Parse(text, "test");
  EXPECT_EQ(back, root);
  // Control characters are written escaped: the file is lines of printable text.
  EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
    return c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F);
  }));
}

// An empty name, or one with a line break, could not be written back.
TEST(RegistryFile, NamesIgnoreCaseKeepTheirSpellingAndRefuseWhatCannotBeWritten) {
  Key root;
  root.Create("Tovik.Quillgate\\CLSID").defaultValue = "x";
  EXPECT_NE(root.Find("TOVIK.QUILLGATE\\clsid"), nullptr);
  root.Create("tovik.quillgate\\CurVer");
  ASSERT_EQ(root.Subkeys().size(), 1u);
  EXPECT_EQ(root.Subkeys().begin()->first, "Tovik.Quillgate");
  EXPECT_TRUE(root.Remove("TOVIK.quillgate"));
  EXPECT_TRUE(root.Subkeys().empty());
  EXPECT_THROW(root.Create("a\\\\b"), RegistryError);
  EXPECT_THROW(root.Create(""), RegistryError);
  EXPECT_THROW(root.Create("bad\nname"), RegistryError);
}

// Parse must refuse `text` with a message that names the file and then `where`.
void ExpectDamage(const std::string& text, const std::string& where) {
  try {
    Parse(text, "the-file");
    ADD_FAILURE() << "accepted: " << text.substr(0, 60);
  } catch (const RegistryError& e) {
    EXPECT_NE(std::string(e.what()).find("the-file: " + where), std::string::npos) << e.what();
  }
}

TEST(RegistryFile, DamageIsReportedWithItsLine) {
  const std::pair<const char*, const char*> damaged[] = {
      {"not a registry\n", "line 1"},
      {"QUILLGATE REGISTRY 1\n[A]\n@=\"unclosed\n", "line 3"},
      {"QUILLGATE REGISTRY 1\n@=\"x\"\n", "line 2"},
      {"QUILLGATE REGISTRY 1\n[A]\n[a]\n", "line 3"},
      {"QUILLGATE REGISTRY 1\n[A]\n\"v\"=\"1\"\n\"V\"=\"2\"\n", "line 4"},
      {"QUILLGATE REGISTRY 1\n[A\n", "line 2"},
      {"QUILLGATE REGISTRY 1\n[A\\\\B]\n", "line 2"},
      {"QUILLGATE REGISTRY 1\n[A]\n@=\"x\" junk\n", "line 3"},
      {"QUILLGATE REGISTRY 1\n[A]\n@=\"\\q\"\n", "line 3"},
      {"\x7F" "ELF\x02\x01\x01", "line 1"},
  };
  for (const auto& [text, where] : damaged) ExpectDamage(text, where);
}

TEST(RegistryFile, DeepTreesAreCopiedComparedAndDestroyedWithoutRecursion) {
  // Far deeper than any stack could follow by recursion.
  Key root;
  Key* key = &root;
  for (int i = 0; i < 100'000; ++i) key = &key->Create("k");
  key->defaultValue = "bottom";
  {
    const Key copy = root;
    EXPECT_EQ(copy, root);
    key->defaultValue = "changed";
    EXPECT_FALSE(copy == root);
    Key assigned;
    assigned = copy;
    EXPECT_EQ(assigned, copy);
  }
  // Such a tree cannot be written: it could not be read back.
  EXPECT_THROW(Serialize(root), RegistryError);
}

TEST(RegistryFile, NestingBeyondTheLimitIsAParseError) {
  std::string deep = "[k";
  for (int i = 1; i < 50'000; ++i) deep += "\\k";
  std::string limit = "[k";
  for (std::size_t i = 1; i < kMaxKeyDepth; ++i) limit += "\\k";
  for (const std::string& path : {deep, limit + "\\k"}) {
    ExpectDamage("QUILLGATE REGISTRY 1\n" + path + "]\n",
                 "line 2: keys are nested more than " + std::to_string(kMaxKeyDepth) + " deep");
  }
  const Key atLimit = Parse("QUILLGATE REGISTRY 1\n" + limit + "]\n", "the-file");
  EXPECT_EQ(Parse(Serialize(atLimit), "again"), atLimit);
  Key root;
  EXPECT_THROW(root.Create(limit.substr(1) + "\\k"), RegistryError);
}

TEST(RegistryFile, ARewriteGrowsWithTheKeysNotWithTheSquareOfTheirDepth) {
  // Chains at the depth limit, named once each by their deepest key: written back, the file
  // stays about the size it was (every key on the way used to get its own section).
  std::string text = "QUILLGATE REGISTRY 1\n";
  for (int chain = 0; chain < 200; ++chain) {
    text += "[c" + std::to_string(chain);
    for (std::size_t i = 1; i < kMaxKeyDepth; ++i) text += "\\k";
    text += "]\n";
  }
  const Key root = Parse(text, "chains");
  const std::string written = Serialize(root);
  EXPECT_LT(written.size(), text.size() * 11 / 10);
  EXPECT_EQ(Parse(written, "again"), root);
  // A key on the way that holds a value keeps its own section.
  Key valued = root;
  valued.Find("c7\\k\\k")->values["v"] = "1";
  const Key reread = Parse(Serialize(valued), "valued");
  EXPECT_EQ(reread, valued);
}

TEST(RegistryStore, DamagedFileIsNeverOverwritten) {
  TempRegistry registry;
  const std::string damaged = "QUILLGATE REGISTRY 1\n[A]\n@=\"unclosed\n";
  registry.Write(damaged);
  EXPECT_THROW(Read(), RegistryError);
  EXPECT_THROW(Update([](Key& root) { root.Create("B"); }), RegistryError);
  EXPECT_EQ(registry.Text(), damaged);
}

TEST(RegistryStore, AFailedChangeWritesNothing) {
  TempRegistry registry;
  Update([](Key& root) { root.Create("Kept"); });
  const std::string before = registry.Text();
  EXPECT_THROW(Update([](Key& root) {
                 root.Create("Half\\Done");
                 throw std::runtime_error("stop");
               }),
               std::runtime_error);
  EXPECT_EQ(registry.Text(), before);
  // No temporary files are left behind either.
  for (const auto& entry : std::filesystem::directory_iterator(registry.Directory())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

TEST(RegistryStore, AFileThatCannotBeReplacedIsNamedWithTheReason) {
  TempRegistry registry;
  // The registry is a link into a folder that does not exist: there is nowhere to write.
  const std::filesystem::path path = registry.Directory() / "missing" / "registry";
  std::filesystem::create_symlink(path, registry.File());
  try {
    Update([](Key& root) { root.Create("A"); });
    ADD_FAILURE() << "the registry was written";
  } catch (const RegistryFileError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot replace the registry " + registry.File().string() + ": " +
                                         std::strerror(ENOENT));
  }
}

// The path set through the API wins over the environment's: the first write lands in
// `real`, so that the link can then take the environment's name.
TEST(RegistryStore, ARewriteKeepsTheFilesModeAndWritesThroughALinkToIt) {
  TempRegistry registry;
  const std::filesystem::path real = registry.Directory() / "shared" / "registry";
  std::filesystem::create_directory(real.parent_path());
  SetRegistryPath(real);
  Update([](Key& root) { root.Create("First"); });
  ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
  SetRegistryPath({});
  std::filesystem::create_symlink(real, registry.File());
  Update([](Key& root) { root.Create("Second"); });
  EXPECT_TRUE(std::filesystem::is_symlink(registry.File())) << "the link stays a link";
  EXPECT_NE(Read().Find("First"), nullptr);
  EXPECT_NE(Read().Find("Second"), nullptr) << "the link's target holds the change";
  struct stat status {};
  ASSERT_EQ(::stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  // The writers' lock stands beside the file written, whichever path led there.
  EXPECT_TRUE(std::filesystem::exists(real.parent_path() / "registry.lock"));
}

// Every writer's every entry, under keys named `prefix` and the writer's number.
void ExpectEveryEntry(const std::string& prefix, int writers, std::size_t entries) {
  const Key root = Read();
  for (int w = 0; w < writers; ++w) {
    const Key* key = root.Find(prefix + std::to_string(w));
    ASSERT_NE(key, nullptr) << w;
    EXPECT_EQ(key->Subkeys().size(), entries) << w;
  }
}

TEST(RegistryStore, ConcurrentWritersInThreadsLoseNothing) {
  TempRegistry registry;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        Update([&](Key& root) {
          root.Create("Writer" + std::to_string(t) + "\\Entry" + std::to_string(i));
        });
      }
    });
  }
  for (auto& writer : writers) writer.join();
  ExpectEveryEntry("Writer", 4, 25);
}

TEST(RegistryStore, ConcurrentWriterProcessesLoseNothing) {
  TempRegistry registry;
  std::vector<pid_t> children;
  for (int p = 0; p < 3; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int status = 0;
      try {
        for (int i = 0; i < 20; ++i) {
          Update([&](Key& root) { root.Create("Process" + std::to_string(p) + "\\" + std::to_string(i)); });
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ExpectEveryEntry("Process", 3, 20);
}

}  // namespace
}  // namespace quillgate::com::registry
