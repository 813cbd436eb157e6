#include "platform/posix/path.h"

int IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int ToPosixPath(const char* path, char* out, size_t capacity) {
  size_t length = 0;
  for (size_t i = 0; path[i] != '\0'; ++i) {
    if (length + 2 > capacity) return 0;
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if (IsShiftJisLeadByte(byte) && path[i + 1] != '\0') {
      out[length++] = path[i];
      out[length++] = path[++i];
      continue;
    }
    out[length++] = byte == '\\' ? '/' : path[i];
  }
  if (length + 1 > capacity) return 0;
  out[length] = '\0';
  return 1;
}
