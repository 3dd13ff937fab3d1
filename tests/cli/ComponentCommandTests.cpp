// The command as the component's host process: registering the built library, driving it by
// name, and refusing registries it cannot use, each against the test's own registry.
#include "tests/cli/CommandTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

namespace fs = std::filesystem;

using quillgate::testing::FileText;
using Result = quillgate::testing::CommandResult;
using HostProcess = quillgate::testing::CommandTest;
using ::testing::HasSubstr;

const std::string kModule = " " + quillgate::testing::Quoted(QUILLGATE_MODULE_PATH);

TEST_F(HostProcess, DrivesTheComponentByNameBetweenRegistrationAndUnregistration) {
  // Unregistering what is not registered succeeds and writes nothing, not even a file.
  Result run = Run("unregister" + kModule);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("nothing to unregister"));
  EXPECT_FALSE(fs::exists(Registry()));
  run = Run("register" + kModule);
  ASSERT_EQ(run.exitCode, 0) << run.err;

  run = Run("automate ImageWidth=300 Format=xyz CreateImage GetValue ImageWidth "
            "'CreateSoundFromCode(AB12)>code.wav' GetValue");
  EXPECT_EQ(run.exitCode, 2);  // one step failed, the others ran
  EXPECT_THAT(run.err, HasSubstr("CreateImage: error 0x80004005 (E_FAIL)"));
  EXPECT_THAT(run.err, HasSubstr("description: This picture format is not supported !"));
  EXPECT_THAT(run.err, HasSubstr("source: Tovik.Quillgate.1"));
  // GetValue after the failure: the five-character code that the failed call made current.
  const std::size_t at = run.out.find("GetValue = ");
  ASSERT_NE(at, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\n', at) - (at + 11), 5u) << run.out;
  EXPECT_THAT(run.out, HasSubstr("ImageWidth = 300"));
  EXPECT_THAT(run.out, HasSubstr("GetValue = AB12"));
  EXPECT_TRUE(fs::exists(Work("code.wav")));

  run = Run("unregister" + kModule);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Unregistered"));
  const std::string unregistered = FileText(Registry());
  run = Run("unregister" + kModule);
  EXPECT_THAT(run.out, HasSubstr("nothing to unregister"));
  EXPECT_EQ(FileText(Registry()), unregistered);
  run = Run("automate GetValue");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_THAT(run.err, HasSubstr("CO_E_CLASSSTRING"));
}

// Every command names what is wrong with a registry it cannot use, at once, and leaves it
// as it is: a damaged file; a FIFO, which would block the open until some writer came; a
// directory, which is not "damaged".
TEST_F(HostProcess, AnUnusableRegistryIsNamedWithItsCauseAndLeftAlone) {
  const fs::path path = Registry();
  const struct {
    std::function<void()> make;
    std::string cause;
    std::function<bool()> leftAlone;
  } registries[] = {
      {[&] { std::ofstream(path) << "not a registry\n"; },
       "line 1: this is not a Quillgate registry file (the registry file is damaged: correct the "
       "line named, or move the file aside",
       [&] { return FileText(path) == "not a registry\n"; }},
      {[&] { ::mkfifo(path.c_str(), 0600); }, "is a FIFO; it must be a regular file",
       [&] { return fs::is_fifo(path); }},
      {[&] { fs::create_directory(path); }, "is a directory; it must be a regular file",
       [&] { return fs::is_directory(path) && fs::is_empty(path); }},
  };
  for (const auto& [make, cause, leftAlone] : registries) {
    SCOPED_TRACE(cause);
    fs::remove(path);
    make();
    for (const std::string& command : {"register" + kModule, "unregister" + kModule,
                                       std::string(" automate GetValue")}) {
      const Result run = Script("timeout 30 \"$Q\" " + command);
      EXPECT_EQ(run.exitCode, 2) << command << " (124 is a hang)";
      EXPECT_EQ(run.out, "") << command;
      EXPECT_THAT(run.err, HasSubstr(cause)) << command;
      const bool damaged = cause.find("damaged") != std::string::npos;
      EXPECT_EQ(run.err.find("damaged") != std::string::npos, damaged) << command;
    }
    EXPECT_TRUE(leftAlone());
  }
}

TEST_F(HostProcess, AFullDiskDuringRegistrationOrUnregistrationIsNamed) {
  fs::create_directory(Work("disk"));
  const std::string mount = "mount -t tmpfs -o size=64k tmpfs disk 2>/dev/null";
  if (::geteuid() != 0 || Script(mount).exitCode != 0) {
    GTEST_SKIP() << "mounting a small tmpfs needs root (or the mount was refused here)";
  }
  const std::string onDisk = "QUILLGATE_REGISTRY=disk/registry \"$Q\" ";
  const std::string fill = "dd if=/dev/zero bs=1k 2>/dev/null of=";
  const Result registered = Script(onDisk + "register" + kModule);
  // Fill it to the last block; creating files still works, writing them does not.
  const Result unregistered = Script(fill + "disk/filler\n" + onDisk + "unregister" + kModule);
  // And fill the space the registry held.
  const Result failed =
      Script("rm disk/registry\n" + fill + "disk/filler2\n" + onDisk + "register" + kModule);
  Script("umount disk");
  ASSERT_EQ(registered.exitCode, 0) << registered.err;
  // The library's unregistration reports success whatever happens; the command does not.
  EXPECT_EQ(unregistered.exitCode, 2);
  EXPECT_THAT(unregistered.err, HasSubstr("still holds Tovik.Quillgate.1"));
  EXPECT_THAT(unregistered.err, HasSubstr("No space left on device"));
  EXPECT_EQ(failed.exitCode, 2);
  EXPECT_THAT(failed.err, HasSubstr("No space left on device"));
}

// Root registering into a user's own registry (sudo with that user's environment) must
// leave the registry theirs: its owner and mode, and a lock file they can take.
TEST_F(HostProcess, RootsRegistrationInAUsersFolderLeavesTheRegistryTheirs) {
  if (::geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
  constexpr uid_t kUser = 65534;  // nobody
  ASSERT_EQ(::chmod(Work().parent_path().c_str(), 0755), 0);
  const std::string asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups \"$Q\" ";
  if (Script(asUser + "--version").exitCode != 0) {
    GTEST_SKIP() << "the command cannot be run as nobody from where it was built";
  }
  for (const bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "a registry the user made" : "no registry yet");
    const fs::path home = Work(existing ? "made" : "empty");
    fs::create_directory(home);
    ASSERT_EQ(::chown(home.c_str(), kUser, kUser), 0);
    const std::string at = "QUILLGATE_REGISTRY=" + quillgate::testing::Quoted(home / "registry") + " ";
    if (existing) {
      ASSERT_EQ(Script(at + asUser + "register" + kModule).exitCode, 0);
      ASSERT_EQ(Script(at + asUser + "unregister" + kModule).exitCode, 0);
      ASSERT_EQ(::chmod((home / "registry").c_str(), 0600), 0);
    }
    const Result rootRun = Script(at + "\"$Q\" register" + kModule);
    ASSERT_EQ(rootRun.exitCode, 0) << rootRun.err;
    for (const char* name : {"registry", "registry.lock"}) {
      struct stat status {};
      ASSERT_EQ(::stat((home / name).c_str(), &status), 0) << name;
      EXPECT_EQ(status.st_uid, kUser) << name;
      EXPECT_EQ(status.st_gid, kUser) << name;
      if (name == std::string("registry")) {
        EXPECT_EQ(status.st_mode & 07777, existing ? 0600u : 0644u);
      }
    }
    const Result userRun = Script(at + asUser + "unregister" + kModule);
    EXPECT_EQ(userRun.exitCode, 0) << userRun.err;
    EXPECT_THAT(userRun.out, HasSubstr("Unregistered"));
  }
}

}  // namespace
