// Shared by the fuzz targets: a scratch folder on tmpfs, whole-file helpers,
// and small reference models that the updater's results are checked against.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// Stops the run with a message; libFuzzer saves the input as a crash.
[[noreturn]] void FuzzFail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A fresh folder for this process, under /dev/shm when it exists, removed
// with everything in it when the process exits normally.
std::string MakeScratchFolder(const char* tag);

// Removes everything inside folder, leaving the folder itself.
void EmptyFolder(const std::string& folder);

// The names in folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string& folder);

bool ReadWholeFile(const std::string& path, std::string* content);
void WriteWholeFile(const std::string& path, const std::string& content);

uint32_t LoadLe32(const uint8_t* bytes);

std::string FoldAscii(std::string text);

// The 8-byte digest of bytes, computed the slow, obvious way.
std::string ReferenceDigest(const uint8_t* bytes, size_t length);

// What the uninstall list update must do to a list (null: no list file) and
// these names: true with the new file content, or false when it must refuse
// and leave the file alone.
bool ReferenceListUpdate(const std::string* before, const std::vector<std::string>& names,
                         std::string* after);

const size_t kListLimit = 1048576;
