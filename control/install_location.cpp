#include "control/install_location.h"

#include <string.h>

#include "platform/platform.h"

namespace {

const size_t kSubkeyCapacity = 4096;
const char kSoftware[] = "Software";
const char kValueName[] = "InstalledFolder";

// The game's installer is a 32-bit program, so its key lives in the 32-bit
// view; a 32-bit updater sees that view by default, any other build must ask.
const REGSAM kKeyAccess = KEY_READ | (sizeof(void*) == 4 ? 0 : KEY_WOW64_32KEY);

// Appends text at *length; 0 when it does not fit with the terminator.
int Append(char* buffer, size_t* length, const char* text) {
  size_t add = strlen(text);
  if (add >= kSubkeyCapacity - *length) return 0;
  memcpy(buffer + *length, text, add + 1);
  *length += add;
  return 1;
}

}  // namespace

int ReadInstalledFolder(char* folder, const char* brand, const char* title) {
  DWORD size = MAX_PATH;
  if (brand == nullptr || title == nullptr) return 0;

  char subkey[kSubkeyCapacity];
  size_t length = 0;
  subkey[0] = '\0';
  if (!Append(subkey, &length, kSoftware) || !Append(subkey, &length, "\\") ||
      !Append(subkey, &length, brand) || !Append(subkey, &length, "\\") ||
      !Append(subkey, &length, title)) {
    return 0;
  }

  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, kKeyAccess, &key) != ERROR_SUCCESS) return 0;
  DWORD type = REG_NONE;
  LONG result = RegQueryValueExA(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return 0;
  // The registry does not promise a terminator: a value stored without one,
  // or with no bytes at all, would leave the path running past its data.
  if (size == 0 || size > MAX_PATH || memchr(folder, '\0', size) == nullptr) return 0;
  return 1;
}
