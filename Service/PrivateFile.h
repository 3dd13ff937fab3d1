#pragma once
// Reads a file the server trusts (the key file, the sites file, a policy): only a regular
// file that the server's own user or root owns, reached through symbolic links only when
// each link is owned by one of them too, so that a file or link another user planted in a
// shared folder is refused rather than believed. A file of secrets must also be closed to
// everyone but its owner; a policy, which holds none, only closed to their writes.

#include "CommonUtilities/FileDescriptor.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillgate::service {

using quillgate::FileDescriptor;

enum class FileSecrecy {
  Secret,  // no one but the owner may read or write it (mode 0600 or tighter)
  Public,  // anyone may read it, no one but the owner may write it
};

// `what` names the file in errors ("the secret file"). Throws std::runtime_error for a
// missing, non-regular, wrongly owned, too open or over-`maxBytes` file, or a link that
// root or the server's user does not own. The text is read to its end, and read again if
// the file changed meanwhile, so a reload never takes half of a file being rewritten.
[[nodiscard]] std::string ReadPrivateFile(const std::filesystem::path& file, std::string_view what,
                                          std::size_t maxBytes, FileSecrecy secrecy = FileSecrecy::Secret);

// Makes `folder` and any missing parent, each new one mode 0700 (the folder of the key
// file). An existing folder must be a directory that root or the server's user owns and
// that no one else may write to, else another user could swap the files in it.
void MakePrivateFolder(const std::filesystem::path& folder);

}  // namespace quillgate::service
