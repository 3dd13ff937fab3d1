#pragma once
// Each family of `quillgate` subcommands registers itself on the application here.

#include <CLI/CLI.hpp>

#include <span>
#include <string>

namespace quillgate::cli {

void AddCodeCommands(CLI::App& app);   // hash, validate, code
void AddSoundCommand(CLI::App& app);   // sound
void AddImageCommands(CLI::App& app);  // image, gallery
void AddComponentCommands(CLI::App& app);  // register, unregister, automate
void AddServiceCommands(CLI::App& app);    // serve, token
void AddSiteCommands(CLI::App& app);       // site new
void AddWorkCommands(CLI::App& app);       // work solve

// Writes bytes to a file, or to standard output for "-". A regular file, or a name that does
// not exist yet, is written in full to an exclusively created temporary beside it and then
// renamed into place, keeping the old file's mode, so a failure never leaves a partial file.
// Devices, FIFOs and the files that symbolic links name are written straight through; a
// regular file with several hard links, or in a directory that cannot be written, is
// rewritten in place. Throws std::runtime_error with a one-line reason and its cause.
void WriteOutput(const std::string& path, std::span<const unsigned char> bytes);

// The longest code the commands draw or speak. Drawing time grows with the code (the
// slowest style needs seconds per thousand characters), and no one types more.
inline constexpr int kMaxCodeLength = 1000;

// Option checks: a whole number in lowest..highest, or any int (an empty text is refused,
// not read as 0), text in UTF-8, and a code of 1 to `characters` UTF-8 characters with no
// control characters. What they refuse is a usage error (kExitUsage), found before anything
// runs; a check left to the work itself would end as a failure (kExitFailure) instead.
CLI::Validator IntegerIn(int lowest, int highest);
CLI::Validator WholeNumber();
CLI::Validator Utf8Text();
CLI::Validator CodeText(std::size_t characters);

// Exit statuses, the same for every command: 0 success, 1 the answer "no" (validate), 2 a
// failure while working (a file, the component, the network), 64 a usage error (an unknown
// command or option, a value out of its range), as sysexits' EX_USAGE.
inline constexpr int kExitNo = 1;
inline constexpr int kExitFailure = 2;
inline constexpr int kExitUsage = 64;

}  // namespace quillgate::cli
