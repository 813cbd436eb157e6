// Turns a Windows-style ANSI path into a POSIX one.
#pragma once

#include <stddef.h>

// Copies path to out with each separator '\' turned into '/'. A 0x5C byte that
// is the trail byte of a Shift_JIS double-byte character is part of that
// character and stays. Returns 0 when out (of capacity bytes) is too small.
int ToPosixPath(const char* path, char* out, size_t capacity);
