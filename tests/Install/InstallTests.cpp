// What an installation gives: a prefix of one's own that serves a CMake project, a plain
// compiler and the installed command, and the Debian package with its unit.
#include "tests/Platform/Graphics/ImageDecoders.h"
#include "tests/ShellOutput.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using quillgate::graphics::testing::DecodePng;
using quillgate::testing::ExportedNames;
using quillgate::testing::FileBytes;
using quillgate::testing::FileText;
using quillgate::testing::Quoted;
using quillgate::testing::ShellOutput;
using quillgate::testing::TemporaryFolder;

// Runs `command` with its output sent to `log`; true when it exits 0.
bool Ran(const std::string& command, const fs::path& log) {
  int status = -1;
  ShellOutput(command + " > " + Quoted(log) + " 2>&1", &status);
  return status == 0;
}

// The installed command registers the installed module without being told where it is, and
// draws a picture with it.
void ExpectTheCommandFindsItsModule(const fs::path& command, const fs::path& module,
                                    const fs::path& dir) {
  int status = -1;
  const std::string registered =
      ShellOutput(Quoted(command) + " register --registry " + Quoted(dir / "registry"), &status);
  EXPECT_EQ(status, 0) << registered;
  EXPECT_NE(registered.find(module.string()), std::string::npos) << registered;
  const fs::path image = dir / "drawn.png";
  EXPECT_TRUE(Ran(Quoted(command) + " image --format png -o " + Quoted(image), dir / "log"))
      << FileText(dir / "log");
  EXPECT_TRUE(DecodePng(FileBytes(image)).has_value());
}

// An installation into a prefix of one's own serves a CMake project (find_package), a
// plain compiler (pkg-config) and the installed command, which finds its component module.
// The consumers are the C library's C and C++ examples.
TEST(Install, APrefixOfOnesOwnServesCMakeAndPkgConfigConsumersAndItsCommand) {
#ifdef QUILLGATE_SANITIZED_BUILD
  GTEST_SKIP() << "a consumer built without the sanitizer cannot link this build's library";
#endif
  const TemporaryFolder scratch("install");
  const fs::path& dir = scratch.Path();
  const fs::path prefix = dir / "prefix";
  const fs::path built = dir / "cmake";
  const fs::path examples = QUILLGATE_EXAMPLES_DIR;
  const fs::path log = dir / "log";
  ASSERT_TRUE(Ran("cmake --install '" QUILLGATE_BUILD_DIR "' --prefix " + Quoted(prefix), log))
      << FileText(log);
  const std::string configure = "cmake -S " + Quoted(examples) + " -B " + Quoted(built) +
                                " -DCMAKE_PREFIX_PATH=" + Quoted(prefix);
  ASSERT_TRUE(Ran(configure + " && cmake --build " + Quoted(built), log))
      << "the find_package consumer did not build:\n" << FileText(log);
  const std::string flags = "$(PKG_CONFIG_PATH=" + Quoted(prefix / "lib" / "pkgconfig") +
                            " pkg-config --cflags --libs quillgate)";
  const std::string example = Quoted(examples / "example.c");
  ASSERT_TRUE(Ran("cc -o " + Quoted(dir / "pc") + " " + example + " " + flags, log))
      << "the pkg-config consumer did not build:\n" << FileText(log);
  const std::pair<const char*, std::string> consumers[] = {
      {"find_package, C", Quoted(built / "example_c")},
      {"find_package, C++", Quoted(built / "example_cpp")},
      {"pkg-config, C", "LD_LIBRARY_PATH=" + Quoted(prefix / "lib") + " " + Quoted(dir / "pc")},
  };
  for (const auto& [what, command] : consumers) {
    const fs::path image = dir / "out.png";
    fs::remove(image);
    int status = -1;
    const std::string printed = ShellOutput(command + " " + Quoted(image), &status);
    EXPECT_EQ(status, 0) << what;
    // The code and the hash a site would keep, which the installed command accepts.
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(printed, parts, std::regex("([2-9A-Z]{5}) ([0-9A-F]{128})\n")))
        << what << ": " << printed;
    const std::string validate = " validate " + parts.str(1) + " " + parts.str(2);
    ShellOutput(Quoted(prefix / "bin" / "quillgate") + validate, &status);
    EXPECT_EQ(status, 0) << what << ": the printed hash is not the code's";
    EXPECT_TRUE(DecodePng(FileBytes(image)).has_value()) << what;
  }
  // The component module lets out only its four entry points (the C library's names are
  // checked where it is built), and the C library carries its major version in its name.
  EXPECT_EQ(ExportedNames(prefix / "lib" / "quillgate" / "libquillgate.so"),
            (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                   "DllUnregisterServer"}));
  EXPECT_NE(ShellOutput("readelf -d " + Quoted(prefix / "lib" / "libquillgate.so.1"))
                .find("Library soname: [libquillgate.so.1]"),
            std::string::npos);
  ExpectTheCommandFindsItsModule(prefix / "bin" / "quillgate",
                                 prefix / "lib" / "quillgate" / "libquillgate.so", dir);
}

TEST(Install, TheDebianPackageHoldsEverythingAndItsCommandRunsFromIt) {
  const TemporaryFolder scratch("package");
  const fs::path& dir = scratch.Path();
  const fs::path log = dir / "log";
  const std::string config = "'" QUILLGATE_BUILD_DIR "/CPackConfig.cmake'";
  ASSERT_TRUE(Ran("cpack -G DEB --config " + config + " -B " + Quoted(dir), log))
      << "cpack failed:\n" << FileText(log);
  const fs::path package = dir / ("quillgate_" QUILLGATE_VERSION "_amd64.deb");
  ASSERT_TRUE(fs::exists(package));
  const std::string info = ShellOutput("dpkg-deb -I " + Quoted(package));
  for (const char* field : {"Package: quillgate", "Version: " QUILLGATE_VERSION, "Architecture: amd64", "libcairo2",
                            "libsodium23", "libjpeg62-turbo", "fonts-liberation"}) {
    EXPECT_NE(info.find(field), std::string::npos) << field << " missing from\n" << info;
  }
  std::set<std::string> files;
  std::istringstream listing(ShellOutput("dpkg-deb -c " + Quoted(package)));
  for (std::string line; std::getline(listing, line);) {
    std::string name = line.substr(line.find("./") + 1);
    if (const std::size_t arrow = name.find(" -> "); arrow != std::string::npos) name.resize(arrow);
    if (name.back() != '/') files.insert(name);
  }
  const std::set<std::string> expected = {
      "/etc/quillgate/serve.env", "/usr/bin/quillgate", "/usr/include/quillgate/quillgate.h",
      "/usr/include/quillgate/quillgate.hpp", "/usr/lib/libquillgate.so", "/usr/lib/libquillgate.so.1",
      "/usr/lib/libquillgate.so.1.0", "/usr/lib/quillgate/libquillgate.so", "/usr/lib/pkgconfig/quillgate.pc",
      "/usr/lib/cmake/Quillgate/QuillgateConfig.cmake", "/usr/lib/cmake/Quillgate/QuillgateConfigVersion.cmake",
      "/usr/lib/cmake/Quillgate/QuillgateTargets.cmake", "/usr/lib/systemd/system/quillgate.service",
      "/usr/share/doc/quillgate/README.md", "/usr/share/doc/quillgate/copyright"};
  for (const std::string& file : expected) EXPECT_EQ(files.count(file), 1u) << file;
  EXPECT_NE(ShellOutput("dpkg-deb -I " + Quoted(package) + " conffiles"), "")
      << "serve.env is not kept on upgrades";

  // Unpacked into a root of its own, the command runs and finds its module there.
  const fs::path root = dir / "root";
  const fs::path command = root / "usr/bin/quillgate";
  ASSERT_TRUE(Ran("dpkg-deb -x " + Quoted(package) + " " + Quoted(root), log)) << FileText(log);
  EXPECT_EQ(ShellOutput(Quoted(command) + " --version"), "quillgate " QUILLGATE_VERSION "\n");
  ExpectTheCommandFindsItsModule(command, root / "usr/lib/quillgate/libquillgate.so", dir);

  // The unit, with its command pointed into the unpacked root, passes systemd's own check.
  std::string unit = FileText(root / "usr/lib/systemd/system/quillgate.service");
  EXPECT_NE(unit.find("DynamicUser=yes"), std::string::npos);
  EXPECT_NE(unit.find("ExecStart=/usr/bin/quillgate serve"), std::string::npos) << unit;
  if (ShellOutput("command -v systemd-analyze").empty()) {
    GTEST_SKIP() << "systemd-analyze is not installed here; the unit was not verified";
  }
  unit = std::regex_replace(unit, std::regex("/usr/bin/quillgate"), command.string());
  std::ofstream(dir / "quillgate.service") << unit;
  int status = -1;
  const std::string verified =
      ShellOutput("systemd-analyze verify " + Quoted(dir / "quillgate.service") + " 2>&1", &status);
  EXPECT_EQ(status, 0) << verified;
}

}  // namespace
