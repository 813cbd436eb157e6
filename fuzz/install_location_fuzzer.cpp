// Arbitrary registry values through ReadInstalledFolder, over the POSIX
// layer's file-based registry in a scratch folder.
//
// Input layout (made by fuzz/make_corpus.py):
//   0   the value's type: REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY,
//       REG_DWORD, REG_MULTI_SZ, or (6) no value at all, modulo 7
//   1   the byte that fills the caller's buffer beforehand
//   2   the value's bytes, exactly as a query returns them
//
// Invariants: 1 exactly for a REG_SZ value of 1 to 260 bytes that holds a
// NUL, and then the buffer is that value up to its NUL; the buffer is a heap
// block of exactly MAX_PATH bytes, so any access past it is a finding.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "control/install_location.h"
#include "fuzz/fuzz_support.h"
#include "platform/platform.h"

namespace {

const char* const kTypeNames[] = {"REG_NONE",   "REG_SZ",    "REG_EXPAND_SZ",
                                  "REG_BINARY", "REG_DWORD", "REG_MULTI_SZ"};
const int kNoValue = 6;

std::string keyFolder;

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) FuzzFail("cannot create %s", path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string root = MakeScratchFolder("install-location");
  setenv("QUENLITH_POSIX_REGISTRY", root.c_str(), 1);
  // The updater is a 32-bit program: its view of HKLM\Software is WOW6432Node.
  std::string path = root;
  for (const char* part : {"HKEY_LOCAL_MACHINE", "Software", "WOW6432Node", "Ormica", "Quenlith"}) {
    path += "/";
    path += part;
    MakeFolder(path);
  }
  keyFolder = path;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int kind = data[0] % 7;
  uint8_t fill = data[1];
  std::string value(reinterpret_cast<const char*>(data + 2), size - 2);

  EmptyFolder(keyFolder);
  if (kind != kNoValue) WriteWholeFile(keyFolder + "/InstalledFolder." + kTypeNames[kind], value);

  char* folder = static_cast<char*>(malloc(MAX_PATH));
  memset(folder, fill, MAX_PATH);
  int result = ReadInstalledFolder(folder, "Ormica", "Quenlith");

  bool expected = kind != kNoValue && strcmp(kTypeNames[kind], "REG_SZ") == 0 && !value.empty() &&
                  value.size() <= MAX_PATH && value.find('\0') != std::string::npos;
  if (result != 0 && result != 1) FuzzFail("result %d", result);
  if ((result == 1) != expected) FuzzFail("result %d, the model says %d", result, expected ? 1 : 0);
  if (result == 1) {
    const void* nul = memchr(folder, '\0', MAX_PATH);
    if (nul == nullptr) FuzzFail("the folder has no terminator");
    size_t length = static_cast<const char*>(nul) - folder;
    if (value.compare(0, value.find('\0'), folder, length) != 0) FuzzFail("the folder is not the value");
  }
  free(folder);
  return 0;
}
