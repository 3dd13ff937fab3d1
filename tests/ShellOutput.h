#pragma once
// Running a shell command as a test's user would, and reading the files it leaves.

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quillgate::testing {

// A path as one word of a shell command (paths here hold no quote).
inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// Standard output of `command` (run by /bin/sh); its exit status in *status, -1 when it
// did not exit.
inline std::string ShellOutput(const std::string& command, int* status = nullptr) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int result = ::pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return text;
}

inline std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::vector<unsigned char> FileBytes(const std::filesystem::path& path) {
  const std::string text = FileText(path);
  return {text.begin(), text.end()};
}

// The names in `folder`: a temporary left behind shows up here.
inline std::set<std::string> FolderNames(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename());
  }
  return names;
}

// The names a shared library exports: the dynamic symbols it defines.
inline std::set<std::string> ExportedNames(const std::filesystem::path& library) {
  std::set<std::string> names;
  std::istringstream symbols(ShellOutput("nm -D --defined-only " + Quoted(library)));
  for (std::string line; std::getline(symbols, line);) {
    names.insert(line.substr(line.find_last_of(' ') + 1));
  }
  return names;
}

}  // namespace quillgate::testing
