// Files over POSIX with the Windows semantics the updater relies on.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/handle.h"
#include "platform/posix/path.h"

namespace {

DWORD lastError = 0;

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_INSUFFICIENT_BUFFER;
    default: return ERROR_WRITE_FAULT;
  }
}

BOOL Fail(DWORD error) {
  lastError = error;
  return FALSE;
}

int Translate(LPCSTR path, char* out) {
  if (path == nullptr || !ToPosixPath(path, out, PATH_MAX)) {
    lastError = ERROR_PATH_NOT_FOUND;
    return 0;
  }
  return 1;
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

// 1 when no open file in any process holds path (Windows would refuse to
// replace or delete it while it is open without delete sharing).
bool IsUnheld(const char* posixPath) {
  int fd = open(posixPath, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

}  // namespace

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

BOOL FailFromErrno(void) { return Fail(ErrorFromErrno(errno)); }

HANDLE NewPosixHandle(HandleKind kind, int fd) {
  PosixHandle* handle = static_cast<PosixHandle*>(malloc(sizeof(PosixHandle)));
  if (handle == nullptr) {
    close(fd);
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  handle->kind = kind;
  handle->fd = fd;
  return handle;
}

PosixHandle* AsPosixHandle(HANDLE handle, HandleKind kind) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  PosixHandle* object = static_cast<PosixHandle*>(handle);
  return object->kind == kind ? object : nullptr;
}

HANDLE CreateFileA(LPCSTR path, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
  char posixPath[PATH_MAX];
  if (!Translate(path, posixPath)) return INVALID_HANDLE_VALUE;
  bool reading = (desiredAccess & GENERIC_READ) != 0;
  bool writing = (desiredAccess & GENERIC_WRITE) != 0;

  struct stat info;
  bool exists = stat(posixPath, &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  if (exists && writing && IsReadOnly(info)) return Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;

  int flags = O_CLOEXEC | (reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY);
  if (creationDisposition == CREATE_ALWAYS) {
    flags |= O_CREAT;
  } else if (creationDisposition != OPEN_EXISTING) {
    return Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  }
  int fd = open(posixPath, flags, 0666);
  if (fd < 0) return FailFromErrno(), INVALID_HANDLE_VALUE;

  // Readers that share reading may stand side by side; any other open
  // excludes every other open of the same file, in this process or another.
  bool sharedRead = !writing && (shareMode & FILE_SHARE_READ) != 0;
  if (flock(fd, (sharedRead ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    close(fd);
    return Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
  }
  // Emptied only once the lock is ours, so a refused open changes nothing.
  if (creationDisposition == CREATE_ALWAYS && ftruncate(fd, 0) != 0) {
    FailFromErrno();
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = NewPosixHandle(kFileHandle, fd);
  if (handle == nullptr) return INVALID_HANDLE_VALUE;
  lastError = exists && creationDisposition == CREATE_ALWAYS ? ERROR_ALREADY_EXISTS : 0;
  return handle;
}

// Like Windows on a regular file, one call moves the whole count unless the
// end of the file or an error comes first.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD transferred, LPOVERLAPPED) {
  if (transferred != nullptr) *transferred = 0;
  PosixHandle* object = AsPosixHandle(file, kFileHandle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  DWORD done = 0;
  while (done < count) {
    ssize_t got = read(object->fd, static_cast<char*>(buffer) + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return FailFromErrno();
    if (got == 0) break;
    done += static_cast<DWORD>(got);
  }
  if (transferred != nullptr) *transferred = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD transferred, LPOVERLAPPED) {
  if (transferred != nullptr) *transferred = 0;
  PosixHandle* object = AsPosixHandle(file, kFileHandle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  DWORD done = 0;
  while (done < count) {
    ssize_t put = write(object->fd, static_cast<const char*>(buffer) + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (transferred != nullptr) *transferred = done;
      return put < 0 ? FailFromErrno() : Fail(ERROR_WRITE_FAULT);
    }
    done += static_cast<DWORD>(put);
  }
  if (transferred != nullptr) *transferred = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  PosixHandle* object = AsPosixHandle(file, kFileHandle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE), INVALID_SET_FILE_POINTER;
  int64_t target = distance;
  if (distanceHigh != nullptr) {
    target = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                  static_cast<uint32_t>(distance));
  }
  if (method != FILE_BEGIN || target < 0) return Fail(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  off_t position = lseek(object->fd, static_cast<off_t>(target), SEEK_SET);
  if (position < 0) return FailFromErrno(), INVALID_SET_FILE_POINTER;
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
  lastError = 0;
  return static_cast<DWORD>(position);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  PosixHandle* object = AsPosixHandle(file, kFileHandle);
  struct stat info;
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE), INVALID_FILE_SIZE;
  if (fstat(object->fd, &info) != 0) return FailFromErrno(), INVALID_FILE_SIZE;
  uint64_t size = static_cast<uint64_t>(info.st_size);
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
  lastError = 0;
  return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file) {
  PosixHandle* object = AsPosixHandle(file, kFileHandle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  return fsync(object->fd) == 0 ? TRUE : FailFromErrno();
}

BOOL CloseHandle(HANDLE object) {
  if (object == nullptr || object == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
  PosixHandle* handle = static_cast<PosixHandle*>(object);
  int result = close(handle->fd);
  free(handle);
  return result == 0 ? TRUE : FailFromErrno();
}

DWORD GetFileAttributesA(LPCSTR path) {
  char posixPath[PATH_MAX];
  struct stat info;
  if (!Translate(path, posixPath)) return INVALID_FILE_ATTRIBUTES;
  if (stat(posixPath, &info) != 0) return FailFromErrno(), INVALID_FILE_ATTRIBUTES;
  DWORD attributes = S_ISDIR(info.st_mode) ? 0x10u : FILE_ATTRIBUTE_ARCHIVE;
  if (IsReadOnly(info)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

// Only the read-only attribute has a POSIX counterpart: the write permission.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  char posixPath[PATH_MAX];
  struct stat info;
  if (!Translate(path, posixPath)) return FALSE;
  if (stat(posixPath, &info) != 0) return FailFromErrno();
  mode_t mode = info.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222u) : (mode | S_IWUSR);
  return chmod(posixPath, mode) == 0 ? TRUE : FailFromErrno();
}

BOOL DeleteFileA(LPCSTR path) {
  char posixPath[PATH_MAX];
  struct stat info;
  if (!Translate(path, posixPath)) return FALSE;
  if (stat(posixPath, &info) != 0) return FailFromErrno();
  if (S_ISDIR(info.st_mode) || IsReadOnly(info)) return Fail(ERROR_ACCESS_DENIED);
  if (!IsUnheld(posixPath)) return Fail(ERROR_SHARING_VIOLATION);
  return unlink(posixPath) == 0 ? TRUE : FailFromErrno();
}

BOOL MoveFileExA(LPCSTR existing, LPCSTR replacement, DWORD flags) {
  char from[PATH_MAX];
  char to[PATH_MAX];
  struct stat info;
  if (!Translate(existing, from) || !Translate(replacement, to)) return FALSE;
  if (stat(from, &info) != 0) return FailFromErrno();
  if (stat(to, &info) == 0) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) return Fail(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(info.st_mode) || IsReadOnly(info)) return Fail(ERROR_ACCESS_DENIED);
    if (!IsUnheld(to)) return Fail(ERROR_SHARING_VIOLATION);
  }
  if (rename(from, to) != 0) return FailFromErrno();
  if (flags & MOVEFILE_WRITE_THROUGH) {
    // Make the rename itself durable: sync the folder that holds the name.
    char folder[PATH_MAX];
    strcpy(folder, to);
    char* slash = strrchr(folder, '/');
    if (slash == nullptr) strcpy(folder, ".");
    else if (slash == folder) folder[1] = '\0';
    else *slash = '\0';
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  lastError = 0;
  return TRUE;
}

// A native executable is far larger than the 65536 bytes an updater image
// may take, so it cannot carry a package behind itself. When
// QUENLITH_POSIX_MODULE_PATH is set, the file it names stands in for the
// running executable's own file.
DWORD GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size) {
  char path[PATH_MAX];
  const char* standIn = getenv("QUENLITH_POSIX_MODULE_PATH");
  ssize_t length;
  if (standIn != nullptr && standIn[0] != '\0') {
    size_t standInLength = strlen(standIn);
    if (standInLength >= sizeof path) return Fail(ERROR_INSUFFICIENT_BUFFER), 0;
    memcpy(path, standIn, standInLength + 1);
    length = static_cast<ssize_t>(standInLength);
  } else {
    length = readlink("/proc/self/exe", path, sizeof path - 1);
  }
  if (length < 0 || size == 0) return FailFromErrno(), 0;
  // Windows truncates to size - 1 bytes plus NUL and returns size.
  if (static_cast<DWORD>(length) >= size) {
    memcpy(buffer, path, size - 1);
    buffer[size - 1] = '\0';
    lastError = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  memcpy(buffer, path, static_cast<size_t>(length));
  buffer[length] = '\0';
  lastError = 0;
  return static_cast<DWORD>(length);
}
