#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

std::string scratchRoot;

void RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0700);
    EmptyFolder(path);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void RemoveScratchRoot() {
  if (!scratchRoot.empty()) RemoveTree(scratchRoot);
}

}  // namespace

void FuzzFail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("FUZZ INVARIANT BROKEN: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  abort();
}

std::string MakeScratchFolder(const char* tag) {
  struct stat info;
  std::string base = stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
  std::string pattern = base + "/updater-fuzz-" + tag + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) FuzzFail("cannot create a scratch folder in %s", base.c_str());
  if (scratchRoot.empty()) {
    scratchRoot = buffer.data();
    atexit(RemoveScratchRoot);
  }
  return buffer.data();
}

void EmptyFolder(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) RemoveTree(folder + "/" + name);
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (struct dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  // Into the string's own storage, which the callers keep between runs:
  // fresh megabyte blocks on every run cost more than the code under test.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0) FuzzFail("cannot stat %s", path.c_str());
  content->resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < content->size()) {
    ssize_t got = read(fd, &(*content)[done], content->size() - done);
    if (got <= 0) FuzzFail("cannot read %s", path.c_str());
    done += static_cast<size_t>(got);
  }
  close(fd);
  return true;
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
    FuzzFail("cannot write %s", path.c_str());
  }
  close(fd);
}

uint32_t LoadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string FoldAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return text;
}

std::string ReferenceDigest(const uint8_t* bytes, size_t length) {
  uint32_t rolling = 0;
  uint8_t rollingSum = 0, rollingXor = 0, byteSum = 0, byteXor = 0;
  for (size_t i = 0; i < length; ++i) {
    rolling = rolling * 233u + bytes[i];
    rollingSum = static_cast<uint8_t>(rollingSum + (rolling & 0xFF));
    rollingXor = static_cast<uint8_t>(rollingXor ^ (rolling & 0xFF));
    byteSum = static_cast<uint8_t>(byteSum + bytes[i]);
    byteXor = static_cast<uint8_t>(byteXor ^ bytes[i]);
  }
  std::string digest;
  for (int shift = 0; shift < 32; shift += 8) digest += static_cast<char>((rolling >> shift) & 0xFF);
  digest += static_cast<char>(rollingSum);
  digest += static_cast<char>(rollingXor);
  digest += static_cast<char>(byteSum);
  digest += static_cast<char>(byteXor);
  return digest;
}

bool ReferenceListUpdate(const std::string* before, const std::vector<std::string>& names,
                         std::string* after) {
  if (before == nullptr || before->empty() || before->size() > kListLimit) return false;
  // A text ended by its only NUL, the file's last byte.
  if (before->find('\0') != before->size() - 1) return false;
  std::string& text = *after;
  text.assign(*before, 0, before->size() - 1);
  for (const std::string& name : names) {
    // Names travel as C strings: whatever follows a NUL is not part of them.
    size_t length = strnlen(name.c_str(), name.size());
    if (text.find(name.c_str(), 0, length) != std::string::npos) continue;
    text.append(name.c_str(), length);
    text += '\n';
    if (text.size() + 1 > kListLimit) return false;
  }
  text += '\0';
  return true;
}
