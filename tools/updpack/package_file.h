// An updater file opened through the updater's own reader, for the
// subcommands that look inside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "fileio/sequential_file.h"
#include "package/package.h"

class OpenedPackage {
 public:
  OpenedPackage() = default;
  ~OpenedPackage();
  OpenedPackage(const OpenedPackage&) = delete;
  OpenedPackage& operator=(const OpenedPackage&) = delete;

  // False, after one line on standard error, when the updater would refuse
  // the file before installing anything.
  bool Open(const std::string& path);

  // Reads one entry's data the way the updater does, a 32-bit position from
  // the data-area base and exactly size bytes, handing it over in pieces.
  // False when the updater could not read it whole.
  bool ReadEntry(uint32_t index, const std::function<void(const uint8_t*, uint32_t)>& take);

  const Package& package() const { return package_; }
  SequentialFile& file() { return file_; }

 private:
  SequentialFile file_;
  Package package_{};
  bool open_ = false;
};

// Prints the file's size, what lies after the last entry's data (a signing
// tool appends its signature there; the updater never reads it) and the
// file's SHA-256.
void PrintFileFacts(const std::string& path, const Package& package);
