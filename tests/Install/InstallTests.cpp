// What an installation gives: a prefix of one's own that serves a CMake project, a plain
// compiler and the installed command, and the Debian package with its unit.
#include "tests/Platform/Graphics/ImageDecoders.h"
#include "tests/ShellOutput.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using quillgate::graphics::testing::DecodePng;

using quillgate::testing::FileBytes;

using quillgate::testing::ShellOutput;

using quillgate::testing::TemporaryFolder;

// An installation into a prefix of one's own serves a CMake project (find_package), a
// plain compiler (pkg-config) and the installed command, which finds its component module.
TEST(Install, APrefixOfOnesOwnServesCMakeAndPkgConfigConsumersAndItsCommand) {
#ifdef QUILLGATE_SANITIZED_BUILD
  GTEST_SKIP() << "a consumer built without the sanitizer cannot link this build's library";
#endif
  const TemporaryFolder scratch("install");
  const fs::path& dir = scratch.Path();
  const fs::path prefix = dir / "prefix";
  const std::string quiet = " > '" + (dir / "log").string() + "' 2>&1";
  int status = -1;
  ShellOutput("cmake --install '" QUILLGATE_BUILD_DIR "' --prefix '" + prefix.string() + "'" + quiet, &status);
  ASSERT_EQ(status, 0) << "cmake --install failed";
  ShellOutput("cmake -S '" QUILLGATE_EXAMPLES_DIR "' -B '" + (dir / "cmake").string() + "' -DCMAKE_PREFIX_PATH='" +
             prefix.string() + "' && cmake --build '" + (dir / "cmake").string() + "'" + quiet,
         &status);
  ASSERT_EQ(status, 0) << "the find_package consumer did not build: see " << (dir / "log");
  const std::string pkgConfig = "PKG_CONFIG_PATH='" + (prefix / "lib" / "pkgconfig").string() + "' pkg-config";
  ShellOutput("cc -o '" + (dir / "pc_example").string() + "' '" QUILLGATE_EXAMPLES_DIR "/example.c' $(" + pkgConfig +
             " --cflags --libs quillgate)" + quiet,
         &status);
  ASSERT_EQ(status, 0) << "the pkg-config consumer did not build";
  const std::string libraryPath = "LD_LIBRARY_PATH='" + (prefix / "lib").string() + "' ";
  const std::pair<const char*, std::string> consumers[] = {
      {"find_package, C", "'" + (dir / "cmake" / "example_c").string() + "'"},
      {"find_package, C++", "'" + (dir / "cmake" / "example_cpp").string() + "'"},
      {"pkg-config, C", libraryPath + "'" + (dir / "pc_example").string() + "'"},
  };
  for (const auto& [what, command] : consumers) {
    const fs::path image = dir / "out.png";
    fs::remove(image);
    const std::string printed = ShellOutput(command + " '" + image.string() + "'", &status);
    EXPECT_EQ(status, 0) << what;
    EXPECT_EQ(printed.size(), 5u + 1 + 128 + 1) << what << ": " << printed;
    EXPECT_TRUE(DecodePng(FileBytes(image)).has_value()) << what;
  }
  // Each installed library lets out only its public names, and the C library carries its
  // major version in its name.
  const auto exported = [](const fs::path& library) {
    std::set<std::string> names;
    std::istringstream symbols(ShellOutput("nm -D --defined-only '" + library.string() + "'"));
    for (std::string line; std::getline(symbols, line);) names.insert(line.substr(line.find_last_of(' ') + 1));
    return names;
  };
  EXPECT_EQ(exported(prefix / "lib" / "quillgate" / "libquillgate.so"),
            (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}));
  const std::set<std::string> api = exported(prefix / "lib" / "libquillgate.so.1");
  EXPECT_GE(api.size(), 15u);
  for (const std::string& name : api) EXPECT_EQ(name.rfind("quillgate_", 0), 0u) << name;
  EXPECT_NE(ShellOutput("readelf -d '" + (prefix / "lib" / "libquillgate.so.1").string() + "'")
                .find("Library soname: [libquillgate.so.1]"),
            std::string::npos);
  // The installed command registers the installed module without being told where it is.
  const std::string command = "'" + (prefix / "bin" / "quillgate").string() + "'";
  const std::string registered =
      ShellOutput(command + " register --registry '" + (dir / "registry").string() + "'", &status);
  EXPECT_EQ(status, 0) << registered;
  EXPECT_NE(registered.find((prefix / "lib" / "quillgate" / "libquillgate.so").string()), std::string::npos)
      << registered;
  ShellOutput(command + " image -o '" + (dir / "installed.jpg").string() + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(quillgate::graphics::testing::DecodeJpeg(FileBytes(dir / "installed.jpg")).has_value());
}


TEST(Install, TheDebianPackageHoldsEverythingAndItsCommandRunsFromIt) {
  const TemporaryFolder scratch("package");
  const fs::path& dir = scratch.Path();
  int status = -1;
  ShellOutput("cpack -G DEB --config '" QUILLGATE_BUILD_DIR "/CPackConfig.cmake' -B '" + dir.string() + "' > '" +
             (dir / "log").string() + "' 2>&1",
         &status);
  const fs::path package = dir / ("quillgate_" QUILLGATE_VERSION "_amd64.deb");
  ASSERT_EQ(status, 0) << "cpack failed";
  ASSERT_TRUE(fs::exists(package));
  const std::string info = ShellOutput("dpkg-deb -I '" + package.string() + "'");
  for (const char* field : {"Package: quillgate", "Version: " QUILLGATE_VERSION, "Architecture: amd64", "libcairo2",
                            "libsodium23", "libjpeg62-turbo", "fonts-liberation"}) {
    EXPECT_NE(info.find(field), std::string::npos) << field << " missing from\n" << info;
  }
  std::set<std::string> files;
  std::istringstream listing(ShellOutput("dpkg-deb -c '" + package.string() + "'"));
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
  EXPECT_NE(ShellOutput("dpkg-deb -I '" + package.string() + "' conffiles"), "") << "serve.env is not kept on upgrades";

  // Unpacked into a root of its own, the command runs and finds its module there.
  const fs::path root = dir / "root";
  ShellOutput("dpkg-deb -x '" + package.string() + "' '" + root.string() + "'", &status);
  ASSERT_EQ(status, 0);
  const std::string command = "'" + (root / "usr/bin/quillgate").string() + "'";
  EXPECT_EQ(ShellOutput(command + " --version"), "quillgate " QUILLGATE_VERSION "\n");
  const std::string registered = ShellOutput(command + " register --registry '" + (dir / "registry").string() + "'", &status);
  EXPECT_EQ(status, 0) << registered;
  EXPECT_NE(registered.find((root / "usr/lib/quillgate/libquillgate.so").string()), std::string::npos) << registered;
  ShellOutput(command + " image --format png -o '" + (dir / "packaged.png").string() + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(DecodePng(FileBytes(dir / "packaged.png")).has_value());

  // The unit, with its command pointed into the unpacked root, passes systemd's own check.
  std::ifstream unitFile(root / "usr/lib/systemd/system/quillgate.service");
  std::string unit{std::istreambuf_iterator<char>(unitFile), std::istreambuf_iterator<char>()};
  EXPECT_NE(unit.find("DynamicUser=yes"), std::string::npos);
  EXPECT_NE(unit.find("ExecStart=/usr/bin/quillgate serve"), std::string::npos) << unit;
  if (ShellOutput("command -v systemd-analyze").empty()) {
    GTEST_SKIP() << "systemd-analyze is not installed here; the unit was not verified";
  }
  unit = std::regex_replace(unit, std::regex("/usr/bin/quillgate"), (root / "usr/bin/quillgate").string());
  std::ofstream(dir / "quillgate.service") << unit;
  const std::string verified = ShellOutput("systemd-analyze verify '" + (dir / "quillgate.service").string() + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << verified;
}

}  // namespace
