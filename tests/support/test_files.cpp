#include "support/test_files.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/platform.h"

TempDir::TempDir() {
  char pattern[] = "/tmp/updater-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files and folders must be writable again to be removed.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Path(const std::string& name) const { return path_ + "/" + name; }

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool IsWritable(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) != 0;
}

void MakeReadOnly(const std::string& path) { chmod(path.c_str(), 0444); }

FileHolder::FileHolder(const std::string& path, unsigned access, unsigned shareMode) {
  int ready[2];
  if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    close(ready[0]);
    HANDLE handle = CreateFileA(path.c_str(), access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
    char answer = handle != INVALID_HANDLE_VALUE ? 'y' : 'n';
    if (write(ready[1], &answer, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char answer = 'n';
  holding_ = read(ready[0], &answer, 1) == 1 && answer == 'y';
  close(ready[0]);
}

FileHolder::~FileHolder() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}
