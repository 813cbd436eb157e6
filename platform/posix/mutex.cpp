// Named mutexes over POSIX. A named mutex exists while any process holds a
// handle to it, as on Windows: each handle is an open lock file carrying a
// shared flock, and a name is "taken" while someone holds that lock. Every
// creation runs under one guard lock, so the test for existence and the
// taking of the shared lock are one step for every other creator.
//
// Lock files: <dir>/quenlith-mutex.<name>, the name's bytes kept when they
// are ASCII letters, digits, '-', '_' or '.', and written as %XX otherwise;
// <dir>/quenlith-mutexes.guard serialises creations. <dir> is
// $QUENLITH_POSIX_MUTEX_DIR, or /dev/shm. Files are never removed: a stale
// file holds no lock and so names no mutex.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/posix/handle.h"

namespace {

const char kDefaultFolder[] = "/dev/shm";
const char kLockPrefix[] = "/quenlith-mutex.";
const char kGuardName[] = "/quenlith-mutexes.guard";

const char* LockFolder() {
  const char* folder = getenv("QUENLITH_POSIX_MUTEX_DIR");
  return folder != nullptr && folder[0] != '\0' ? folder : kDefaultFolder;
}

bool Append(char* out, size_t capacity, size_t* length, const char* text) {
  size_t add = strlen(text);
  if (add >= capacity - *length) return false;
  memcpy(out + *length, text, add + 1);
  *length += add;
  return true;
}

bool IsKept(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
         byte == '-' || byte == '_' || byte == '.';
}

bool LockFilePath(const char* name, char* out, size_t capacity) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t length = 0;
  out[0] = '\0';
  if (!Append(out, capacity, &length, LockFolder()) || !Append(out, capacity, &length, kLockPrefix)) {
    return false;
  }
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    char escaped[4] = {static_cast<char>(*p), '\0', '\0', '\0'};
    if (!IsKept(*p)) {
      escaped[0] = '%';
      escaped[1] = kHex[*p >> 4];
      escaped[2] = kHex[*p & 15];
    }
    if (!Append(out, capacity, &length, escaped)) return false;
  }
  return true;
}

int Lock(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

// Opens the lock file read-only: any user may then lock a file that another
// user created.
int OpenLockFile(const char* path) { return open(path, O_RDONLY | O_CREAT | O_CLOEXEC, 0666); }

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  if (name == nullptr) {
    // An unnamed mutex is private to its handle; /dev/null gives it an fd to close.
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return FailFromErrno(), nullptr;
    HANDLE handle = NewPosixHandle(kMutexHandle, fd);
    if (handle != nullptr) SetLastError(0);
    return handle;
  }

  char lockPath[PATH_MAX];
  char guardPath[PATH_MAX];
  size_t guardLength = 0;
  guardPath[0] = '\0';
  if (!LockFilePath(name, lockPath, sizeof lockPath) ||
      !Append(guardPath, sizeof guardPath, &guardLength, LockFolder()) ||
      !Append(guardPath, sizeof guardPath, &guardLength, kGuardName)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }

  int guard = OpenLockFile(guardPath);
  if (guard < 0) return FailFromErrno(), nullptr;
  if (Lock(guard, LOCK_EX) != 0) {
    FailFromErrno();
    close(guard);
    return nullptr;
  }
  int fd = OpenLockFile(lockPath);
  bool created = false;
  bool held = false;
  if (fd >= 0) {
    // Only a name that nobody holds can be locked exclusively. Holders keep
    // shared locks and change them only under the guard, so the exclusive
    // try and the step down to shared cannot interleave with another creator.
    created = Lock(fd, LOCK_EX | LOCK_NB) == 0;
    bool busy = !created && errno == EWOULDBLOCK;
    held = (created || busy) && Lock(fd, LOCK_SH | LOCK_NB) == 0;
  }
  if (!held) {
    FailFromErrno();
    if (fd >= 0) close(fd);
    close(guard);
    return nullptr;
  }
  close(guard);

  HANDLE handle = NewPosixHandle(kMutexHandle, fd);
  if (handle == nullptr) return nullptr;
  SetLastError(created ? 0 : ERROR_ALREADY_EXISTS);
  return handle;
}
