// SHA-256, to name an updater file unambiguously in reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
 public:
  Sha256();
  void Add(const void* data, size_t length);
  // Lowercase hex of the digest; the object is spent afterwards.
  std::string FinishHex();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t pending_[64];
  size_t pendingLength_ = 0;
  uint64_t totalLength_ = 0;
};

// The SHA-256 of a whole file in lowercase hex; throws std::runtime_error when
// the file cannot be read.
std::string Sha256OfFile(const std::string& path);
