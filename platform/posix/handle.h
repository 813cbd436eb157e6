// Handles of the POSIX layer: a small heap object that says what it holds.
#pragma once

#include "platform/posix/windows_api.h"

enum HandleKind { kFileHandle = 1, kMutexHandle = 2 };

struct PosixHandle {
  HandleKind kind;
  int fd;
};

// A new handle owning fd, or null when memory runs out (fd is then closed).
HANDLE NewPosixHandle(HandleKind kind, int fd);

// The handle's object when it is a live handle of that kind, else null.
PosixHandle* AsPosixHandle(HANDLE handle, HandleKind kind);

// Sets the last-error value from errno and returns FALSE.
BOOL FailFromErrno(void);
