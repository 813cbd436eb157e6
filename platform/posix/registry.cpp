// A read-only registry over a folder tree, for the native build and its
// tests. The tree lives under $QUENLITH_POSIX_REGISTRY:
//
//   <root>/HKEY_LOCAL_MACHINE/<key>/<subkey>/...   one folder per key
//   <key folder>/<value name>.<type>              one file per value
//
// <type> is REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD or
// REG_MULTI_SZ; the file holds the value's bytes exactly as a query returns
// them, so a string's terminating NUL is part of the file (or missing, when
// a test wants it missing). The default value is the file ".<type>". Key and
// value names match without regard to ASCII letter case, as on Windows.
//
// Views: like 64-bit Windows, the 32-bit view of HKEY_LOCAL_MACHINE\Software
// is the folder Software/WOW6432Node. A 64-bit process sees it only with
// KEY_WOW64_32KEY; a 32-bit process sees it unless it asks for
// KEY_WOW64_64KEY. scripts/posix_registry.sh writes values.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/windows_api.h"
#include "platform/shift_jis.h"

namespace {

const uint32_t kKeyMagic = 0x4B474552u;  // "REGK"
const char kMachineFolder[] = "HKEY_LOCAL_MACHINE";
const char kSoftwareKey[] = "Software";
const char kRedirectFolder[] = "WOW6432Node";
const size_t kMaxComponent = 255;

struct PosixKey {
  uint32_t magic;
  int fd;  // the key's folder
  REGSAM access;
};

struct TypeName {
  DWORD type;
  const char* name;
};

const TypeName kTypeNames[] = {
    {REG_NONE, "REG_NONE"},     {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"}, {REG_DWORD, "REG_DWORD"}, {REG_MULTI_SZ, "REG_MULTI_SZ"},
};

PosixKey* AsKey(HKEY key) {
  PosixKey* object = static_cast<PosixKey*>(key);
  return object != nullptr && object->magic == kKeyMagic ? object : nullptr;
}

bool IsPredefined(HKEY key) { return key == HKEY_LOCAL_MACHINE; }

unsigned char Fold(unsigned char byte) { return byte >= 'A' && byte <= 'Z' ? byte + 0x20 : byte; }

// Compares the first length bytes of a with the whole of b, letter case
// aside. The trail byte of a Shift_JIS character is compared as it is.
bool SameName(const char* a, size_t length, const char* b) {
  size_t i = 0;
  for (; i < length && b[i] != '\0'; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (Fold(x) != Fold(y)) return false;
    if (IsShiftJisLeadByte(x) && i + 1 < length) {
      ++i;
      if (a[i] != b[i]) return false;
    }
  }
  return i == length && b[i] == '\0';
}

int OpenFolderAt(int folder, const char* name) {
  return openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// A listing of folder on a descriptor of its own (folder stays open), or null.
DIR* ListFolder(int folder) {
  int listing = OpenFolderAt(folder, ".");
  if (listing < 0) return nullptr;
  DIR* dir = fdopendir(listing);
  if (dir == nullptr) close(listing);
  return dir;
}

// Opens the subfolder of folder whose name matches the component, or -1.
int OpenComponent(int folder, const char* component, size_t length) {
  if (length == 0 || length > kMaxComponent) return -1;
  if (memchr(component, '/', length) != nullptr) return -1;
  char exact[kMaxComponent + 1];
  memcpy(exact, component, length);
  exact[length] = '\0';
  if (strcmp(exact, ".") == 0 || strcmp(exact, "..") == 0) return -1;
  int found = OpenFolderAt(folder, exact);
  if (found >= 0) return found;

  DIR* dir = ListFolder(folder);
  if (dir == nullptr) return -1;
  while (struct dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || !SameName(component, length, entry->d_name)) continue;
    found = OpenFolderAt(folder, entry->d_name);
    if (found >= 0) break;
  }
  closedir(dir);
  return found;
}

// Opens the folder of a predefined root key, or -1 when the store has none.
int OpenRootFolder() {
  const char* root = getenv("QUENLITH_POSIX_REGISTRY");
  if (root == nullptr || root[0] == '\0') return -1;
  int rootFolder = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFolder < 0) return -1;
  int machine = OpenFolderAt(rootFolder, kMachineFolder);
  close(rootFolder);
  return machine;
}

// Opens a new fd on the folder of key, or -1 when key is not a key.
int OpenKeyFolder(HKEY key, REGSAM* access) {
  if (IsPredefined(key)) {
    *access = KEY_READ;
    return OpenRootFolder();
  }
  PosixKey* object = AsKey(key);
  if (object == nullptr) return -1;
  *access = object->access;
  return OpenFolderAt(object->fd, ".");
}

bool WantsThirtyTwoBitView(REGSAM access) {
  if (access & KEY_WOW64_32KEY) return true;
  if (access & KEY_WOW64_64KEY) return false;
  return sizeof(void*) == 4;
}

// Finds the value file "<valueName>.<type>" in folder. Returns its fd or -1.
int OpenValue(int folder, const char* valueName, DWORD* type) {
  DIR* dir = ListFolder(folder);
  if (dir == nullptr) return -1;
  int found = -1;
  while (struct dirent* entry = readdir(dir)) {
    const char* dot = strrchr(entry->d_name, '.');
    if (dot == nullptr) continue;
    size_t baseLength = static_cast<size_t>(dot - entry->d_name);
    if (!SameName(entry->d_name, baseLength, valueName)) continue;
    for (const TypeName& candidate : kTypeNames) {
      if (strcmp(dot + 1, candidate.name) != 0) continue;
      int fd = openat(folder, entry->d_name, O_RDONLY | O_CLOEXEC);
      struct stat info;
      if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        found = fd;
        *type = candidate.type;
      } else if (fd >= 0) {
        close(fd);
      }
      break;
    }
    if (found >= 0) break;
  }
  closedir(dir);
  return found;
}

// Reads up to size bytes; returns the count read, or -1 on an error.
ssize_t ReadWhole(int fd, LPBYTE data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(fd, data + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  REGSAM parentAccess;
  int folder = OpenKeyFolder(key, &parentAccess);
  if (folder < 0) return IsPredefined(key) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;

  const char* rest = subKey != nullptr ? subKey : "";
  if (rest[0] == '\\') {
    close(folder);
    return ERROR_BAD_PATHNAME;
  }
  bool redirect = IsPredefined(key) && WantsThirtyTwoBitView(access);
  bool first = true;
  while (rest[0] != '\0') {
    const char* end = strchr(rest, '\\');
    size_t length = end != nullptr ? static_cast<size_t>(end - rest) : strlen(rest);
    int next = OpenComponent(folder, rest, length);
    if (next >= 0 && first && redirect && SameName(rest, length, kSoftwareKey)) {
      int view = OpenComponent(next, kRedirectFolder, strlen(kRedirectFolder));
      close(next);
      next = view;
    }
    close(folder);
    if (next < 0) return ERROR_FILE_NOT_FOUND;
    folder = next;
    first = false;
    rest = end != nullptr ? end + 1 : rest + length;
  }

  PosixKey* object = static_cast<PosixKey*>(malloc(sizeof(PosixKey)));
  if (object == nullptr) {
    close(folder);
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  object->magic = kKeyMagic;
  object->fd = folder;
  object->access = access;
  *result = object;
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
  if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) return ERROR_INVALID_PARAMETER;
  REGSAM access;
  int folder = OpenKeyFolder(key, &access);
  if (folder < 0) return IsPredefined(key) ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  if ((access & KEY_QUERY_VALUE) == 0) {
    close(folder);
    return ERROR_ACCESS_DENIED;
  }
  DWORD valueType = REG_NONE;
  int value = OpenValue(folder, valueName != nullptr ? valueName : "", &valueType);
  close(folder);
  if (value < 0) return ERROR_FILE_NOT_FOUND;

  struct stat info;
  if (fstat(value, &info) != 0) {
    close(value);
    return ERROR_ACCESS_DENIED;
  }
  // Sizes travel as DWORD; a larger file cannot be a value.
  uint64_t size = static_cast<uint64_t>(info.st_size);
  if (size > 0xFFFFFFFEu) size = 0xFFFFFFFEu;
  if (type != nullptr) *type = valueType;
  LSTATUS status = ERROR_SUCCESS;
  if (data != nullptr && size > *dataSize) {
    status = ERROR_MORE_DATA;
  } else if (data != nullptr) {
    ssize_t got = ReadWhole(value, data, static_cast<size_t>(size));
    if (got < 0) status = ERROR_ACCESS_DENIED;
    else size = static_cast<uint64_t>(got);
  }
  close(value);
  if (dataSize != nullptr && status != ERROR_ACCESS_DENIED) *dataSize = static_cast<DWORD>(size);
  return status;
}

LSTATUS RegCloseKey(HKEY key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;
  PosixKey* object = AsKey(key);
  if (object == nullptr) return ERROR_INVALID_HANDLE;
  close(object->fd);
  object->magic = 0;
  free(object);
  return ERROR_SUCCESS;
}
