// The 8-byte package checksum. Its bytes in memory are the digest: rolling
// little-endian, then rollingSum, rollingXor, byteSum, byteXor.
#pragma once

#include <stdint.h>

#include "package/package_format.h"

struct PackageChecksum {
  uint32_t rolling;    // rolling * 233 + c, modulo 2^32, over every byte
  uint8_t rollingSum;  // sum of the low byte of rolling after each byte
  uint8_t rollingXor;  // xor of the low byte of rolling after each byte
  uint8_t byteSum;     // sum of the bytes
  uint8_t byteXor;     // xor of the bytes
};
static_assert(sizeof(PackageChecksum) == kChecksumSize, "the checksum is its digest");

// Folds length bytes into state, in order. Two calls give the same state as
// one call over the two blocks joined.
void AddToChecksum(PackageChecksum* state, const void* bytes, uint32_t length);

// The plain byte loop: the definition that the fast version must match.
void AddToChecksumReference(PackageChecksum* state, const void* bytes, uint32_t length);
