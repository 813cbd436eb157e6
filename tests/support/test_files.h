// Scratch folders and small file helpers for the tests.
#pragma once

#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string Path(const std::string& name) const;

 private:
  std::string path_;
};

using Bytes = std::vector<unsigned char>;

void WriteBytes(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, const std::string& text);
Bytes ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
bool IsWritable(const std::string& path);
void MakeReadOnly(const std::string& path);

// A child process that holds path open the way CreateFileA with the given
// access and share mode would, until the object is destroyed.
class FileHolder {
 public:
  FileHolder(const std::string& path, unsigned access, unsigned shareMode);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  bool holding() const { return holding_; }

 private:
  int pid_ = -1;
  bool holding_ = false;
};
