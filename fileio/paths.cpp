#include "fileio/paths.h"

#include <string.h>

int JoinPath(char* out, size_t capacity, const char* folder, const char* name) {
  size_t folderLength = strlen(folder);
  size_t nameLength = strlen(name);
  if (capacity == 0) return 0;
  out[0] = '\0';
  if (folderLength >= capacity || nameLength >= capacity - folderLength - 1) return 0;
  memcpy(out, folder, folderLength);
  out[folderLength] = '\\';
  memcpy(out + folderLength + 1, name, nameLength + 1);
  return 1;
}
