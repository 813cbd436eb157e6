// Writes complete updater files: the stub image, zero bytes up to the package
// offset, the header, the entry table and the data, with the verification
// list "fwn.hvl" as the first entry unless asked not to.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace packwriter {

struct InputEntry {
  std::string name;               // as stored: Shift_JIS bytes, at most 15
  std::string sourcePath;         // streamed from this file when not empty,
  std::vector<uint8_t> bytes;     // else these bytes
};

struct WriteOptions {
  bool verificationList = true;   // add "fwn.hvl" with one record per entry
  bool checkNames = true;         // refuse what the updater would refuse;
                                  // off only for tests that need bad packages
  // Called now and then with bytes of data done and in all; may be empty.
  std::function<void(uint64_t done, uint64_t total)> progress;
  // How messages show an entry name; by default bytes outside printable
  // ASCII appear as \xNN.
  std::function<std::string(const std::string& name)> displayName;
};

struct WrittenEntry {
  std::string name;
  uint32_t offset;
  uint32_t size;
  std::array<uint8_t, 8> digest;
};

// Writes the updater file at outPath and returns the table as written
// (the verification list first when added). Throws std::runtime_error with a
// one-line message when the input is refused or an I/O step fails.
std::vector<WrittenEntry> WriteUpdater(const std::string& outPath, const std::vector<uint8_t>& stub,
                                       const std::vector<InputEntry>& entries,
                                       const WriteOptions& options = {});

}  // namespace packwriter
