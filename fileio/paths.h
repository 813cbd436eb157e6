// Paths are joined as folder, backslash, name, exactly as given: no separator
// is added or removed beyond the one backslash.
#pragma once

#include <stddef.h>

// Writes "folder\name" into out. Returns 0, leaving out empty, when the
// result and its NUL would not fit capacity bytes.
int JoinPath(char* out, size_t capacity, const char* folder, const char* name);
