#pragma once
// Writing a file's whole content the way every writer here must: all or nothing, through
// links only where following them is safe, and without leaving debris when killed.
//
// - A regular file is replaced by a temporary written beside it, flushed and renamed over
//   it: readers see the old content or the new one, never a mixture. The temporary is
//   unnamed (O_TMPFILE) where the file system allows, so a process killed mid-write leaves
//   nothing behind; it gets a name only for the instant before the rename. Elsewhere it is a
//   named file that nobody can guess, created exclusively and never through a link.
// - A symbolic link is followed and its target replaced in the target's own folder, so the
//   link stays a link. In a sticky folder that everyone may write (/tmp), a link is followed
//   only when the caller or the folder's owner made it: the kernel's protected-symlinks rule,
//   applied here whatever the system is set to, so a link that another user planted cannot
//   aim a privileged write at a file of the attacker's choosing.
// - A replaced file keeps its mode, and its owner and group where the caller may set them.
// - A device, FIFO or socket is written where it stands (or refused, as the caller chooses):
//   a device such as /dev/null must stay a device.
// - A file with several hard links, or one whose folder cannot be written, is rewritten in
//   place where the caller allows it, with its space reserved first so a full disk is found
//   while the old content is whole.

#include "CommonUtilities/FileDescriptor.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace quillgate {

// "cannot write PATH: CAUSE", with the errno of the step that failed.
class FileWriteError : public std::runtime_error {
 public:
  FileWriteError(const std::string& path, int error);
  FileWriteError(const std::string& path, int error, const std::string& cause);
  [[nodiscard]] int Error() const noexcept { return error_; }
  // What followed "cannot write": " <path>: <cause>", for messages that name the file
  // their own way.
  [[nodiscard]] const std::string& PathAndCause() const noexcept { return pathAndCause_; }

 private:
  int error_;
  std::string pathAndCause_;
};

// Where a path leads once every link in it has been followed (or refused): its folder,
// opened, and the last name in it.
struct FileLocation {
  FileDescriptor folder;                // opened with O_PATH; good for the *at calls
  struct stat folderStatus {};
  std::string name;                     // the final name within `folder`; never a link
  std::optional<struct stat> existing;  // what stands there now, if anything
};

// Follows `path` one name at a time under the rule above. Throws FileWriteError for a
// refused link, a loop, a missing folder, or a name ending in '/'.
[[nodiscard]] FileLocation LocateForWriting(const std::filesystem::path& path);

// "a directory", "a FIFO", ...: what a non-regular file is, for messages.
[[nodiscard]] const char* KindOfFile(mode_t mode) noexcept;

struct ReplaceOptions {
  mode_t newFileMode = 0666;             // for a file that does not exist yet, less the umask
  bool newFileTakesFolderOwner = false;  // when run as root: a new file belongs to the folder's owner
  bool writeThroughOtherFiles = true;    // devices, FIFOs, sockets; else refused
  bool rewriteInPlaceWhenNeeded = true;  // several hard links, or an unwritable folder
  std::string temporaryPrefix = ".quillgate-";
  bool unnamedTemporaries = true;        // false only to exercise the named fallback
};

// Makes `bytes` the whole content of `path` (in errors, `path` as given).
void ReplaceFileContents(const std::filesystem::path& path, std::span<const unsigned char> bytes,
                         const ReplaceOptions& options = {});
void ReplaceFileContents(const FileLocation& location, const std::string& shownPath,
                         std::span<const unsigned char> bytes, const ReplaceOptions& options = {});

// Creates `path` holding `bytes` unless the name is taken: false, writing nothing, when
// anything (a file, a link) already stands there. The file appears whole or not at all.
[[nodiscard]] bool CreateNewFile(const std::filesystem::path& path, std::span<const unsigned char> bytes,
                                 mode_t mode);

}  // namespace quillgate
