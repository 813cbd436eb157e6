#include "platform/posix/path.h"

#include "platform/shift_jis.h"

int ToPosixPath(const char* path, char* out, size_t capacity) {
  size_t length = 0;
  for (size_t i = 0; path[i] != '\0';) {
    int charLength = ShiftJisCharLength(path + i);
    if (length + charLength + 1 > capacity) return 0;
    if (charLength == 1 && path[i] == '\\') {
      out[length++] = '/';
    } else {
      for (int k = 0; k < charLength; ++k) out[length++] = path[i + k];
    }
    i += charLength;
  }
  out[length] = '\0';
  return 1;
}
