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

// Writes bytes to a file, or to standard output for "-". A file is written in full to a
// temporary name beside it and then renamed, so a failure never leaves a partial file.
// Throws std::runtime_error with a one-line reason.
void WriteOutput(const std::string& path, std::span<const unsigned char> bytes);

}  // namespace quillgate::cli
