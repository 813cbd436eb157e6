// Extraction mirrors what the updater writes: each entry under its stored
// name, converted to UTF-8. A '\' in a name makes the updater write into a
// subfolder of the install folder, so here it makes a subfolder of DIR too;
// '/' is read the same way, as Windows does. Every step below DIR is opened
// without following symbolic links, so nothing is written outside DIR.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands.h"
#include "package_file.h"
#include "text.h"

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool IsDotsAndSpaces(const std::string& component) {
  return component.find_first_not_of(". ") == std::string::npos;
}

// The path components of an entry name, or a reason why it is refused.
std::vector<std::string> Components(const char* stored, std::string* problem) {
  auto utf8 = ShiftJisToUtf8(stored);
  if (!utf8) {
    *problem = "the name is not valid Shift_JIS";
    return {};
  }
  // In UTF-8 a 0x5C byte is always a real backslash, never part of a character.
  std::vector<std::string> parts;
  std::string part;
  for (char c : *utf8 + "\\") {
    if (c != '\\' && c != '/') {
      part += c;
      continue;
    }
    if (part.empty() || IsDotsAndSpaces(part)) {
      *problem = "the name has an empty or dots-only part";
      return {};
    }
    parts.push_back(part);
    part.clear();
  }
  return parts;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
}

// Opens parts[0..n-2] below root as folders, creating them, then creates the
// file parts[n-1] in the last one; no symbolic link is followed at any step.
// Returns the file; folder is left open on the folder that holds it.
int CreateBelow(int root, const std::vector<std::string>& parts, const std::string& shown, Fd& folder) {
  folder.Reset(::dup(root));
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (::mkdirat(folder.get(), parts[i].c_str(), 0777) != 0 && errno != EEXIST) Fail("cannot create a folder", shown);
    int next = ::openat(folder.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) Fail("cannot open a folder", shown);
    folder.Reset(next);
  }
  int fd = ::openat(folder.get(), parts.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) Fail("cannot create", shown);
  return fd;
}

}  // namespace

int ExtractCommand(const std::string& path, const std::string& dir) {
  OpenedPackage opened;
  if (!opened.Open(path)) return kExitFailure;
  const Package& package = opened.package();

  // Every name is checked before anything is written.
  std::vector<std::vector<std::string>> names;
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    std::string problem;
    names.push_back(Components(package.entries[i].name, &problem));
    if (names.back().empty()) {
      Complain(path, "entry " + std::to_string(i) + " \"" + DisplayName(package.entries[i].name) + "\": " + problem);
      return kExitFailure;
    }
  }

  std::error_code error;
  std::filesystem::create_directories(dir, error);
  Fd root(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.get() < 0) {
    Complain(dir, std::string("cannot open the folder: ") + std::strerror(errno));
    return kExitFailure;
  }
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    std::string shown = dir + "/" + DisplayName(package.entries[i].name);
    Fd folder(-1);
    Fd out(CreateBelow(root.get(), names[i], shown, folder));
    bool read = opened.ReadEntry(i, [&](const uint8_t* bytes, uint32_t length) {
      for (uint32_t done = 0; done < length;) {
        ssize_t wrote = ::write(out.get(), bytes + done, length - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) Fail("cannot write", shown);
        done += static_cast<uint32_t>(wrote);
      }
    });
    if (!read) {
      // A cut-short file would pass for the entry.
      ::unlinkat(folder.get(), names[i].back().c_str(), 0);
      Complain(path, "entry " + std::to_string(i) + " \"" + DisplayName(package.entries[i].name) +
                         "\": its data cannot be read whole");
      return kExitFailure;
    }
    if (::close(out.Release()) != 0) Fail("cannot write", shown);
  }
  std::printf("extracted %u entries into %s\n", package.entryCount, dir.c_str());
  return kExitOk;
}
