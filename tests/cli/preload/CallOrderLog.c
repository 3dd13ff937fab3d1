// Preloaded into the `quillgate` command by the output tests: logs, in the order they
// happen, the calls that decide whether a written file survives a crash. Each line is
// "write <fd>" (writes of 512 bytes or more: file contents, not messages), "sync <fd>"
// (fsync, the one sync the file writer makes) or "publish" (linkat or renameat, the calls by
// which the file writer gives a file its name), appended to the file named by
// QUILLGATE_CALL_LOG. Each call is then passed on unchanged. A writer that named its files
// some other way would log no publish, and the test says so rather than pass.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

static void Note(const char* what, int fd) {
  const char* path = getenv("QUILLGATE_CALL_LOG");
  if (path == NULL) return;
  const int saved = errno;
  char line[64];
  const int length =
      fd < 0 ? snprintf(line, sizeof line, "%s\n", what) : snprintf(line, sizeof line, "%s %d\n", what, fd);
  // Straight to the kernel: through write() the line would be logged in turn.
  const long log = syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (log >= 0) {
    (void)syscall(SYS_write, (int)log, line, (size_t)length);
    (void)syscall(SYS_close, (int)log);
  }
  errno = saved;
}

// The definition that the preloaded one hides, copied into a function pointer: ISO C has
// no cast from dlsym's object pointer.
#define FIND_NEXT(pointer, name)               \
  do {                                         \
    void* const found = dlsym(RTLD_NEXT, name); \
    memcpy(&(pointer), &found, sizeof(pointer)); \
  } while (0)

ssize_t write(int fd, const void* buffer, size_t count) {
  ssize_t (*next)(int, const void*, size_t);
  FIND_NEXT(next, "write");
  if (count >= 512) Note("write", fd);
  return next(fd, buffer, count);
}

int fsync(int fd) {
  int (*next)(int);
  FIND_NEXT(next, "fsync");
  Note("sync", fd);
  return next(fd);
}

int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  int (*next)(int, const char*, int, const char*, int);
  FIND_NEXT(next, "linkat");
  Note("publish", -1);
  return next(fromFolder, from, toFolder, to, flags);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
  int (*next)(int, const char*, int, const char*);
  FIND_NEXT(next, "renameat");
  Note("publish", -1);
  return next(fromFolder, from, toFolder, to);
}
