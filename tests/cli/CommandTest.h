#pragma once
// A fixture for tests that run the `quillgate` command as a user would. Each test has a
// folder of its own; bash runs the command there (as $Q), and its standard output, standard
// error and exit status are captured outside that folder, which holds only what the
// command itself leaves. The registry is the test's own too (outside the folder, and
// absent unless a test makes one), never the user's.

#include "tests/ShellOutput.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace quillgate::testing {

struct CommandResult {
  int exitCode = -1;  // -1 when the script did not exit
  std::string out;
  std::string err;
};

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(Work()); }

  // Runs a bash script in Work(), in which $Q is the command.
  CommandResult Script(const std::string& script) const {
    std::ofstream(dir_ / "run.sh") << "cd " << Quoted(Work()) << " || exit 99\n"
                                   << "Q='" << QUILLGATE_CLI << "'\n"
                                   << "export QUILLGATE_REGISTRY=" << Quoted(Registry())
                                   << '\n' << script << '\n';
    CommandResult result;
    result.out = ShellOutput("bash " + Quoted(dir_ / "run.sh") + " 2> " + Quoted(dir_ / "err"),
                             &result.exitCode);
    result.err = FileText(dir_ / "err");
    return result;
  }
  // The command with `arguments`, shell text (so that bytes can be spelled $'\xNN').
  CommandResult Run(const std::string& arguments) const { return Script("\"$Q\" " + arguments); }

  // The test's folder, where the command runs and writes.
  std::filesystem::path Work() const { return dir_ / "work"; }
  std::filesystem::path Work(const std::string& name) const { return Work() / name; }
  std::set<std::string> Names() const { return FolderNames(Work()); }
  // The registry the command uses unless a script names another.
  std::filesystem::path Registry() const { return dir_ / "registry"; }

 private:
  const TemporaryFolder folder_{"cli"};
  const std::filesystem::path& dir_ = folder_.Path();
};

}  // namespace quillgate::testing
