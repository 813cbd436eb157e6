#include "package/checksum.h"

#include "package/checksum_internal.h"

void AddToChecksumReference(PackageChecksum* state, const void* bytes, uint32_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint32_t rolling = state->rolling;
  uint8_t rollingSum = state->rollingSum;
  uint8_t rollingXor = state->rollingXor;
  uint8_t byteSum = state->byteSum;
  uint8_t byteXor = state->byteXor;
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t c = p[i];
    rolling = rolling * 233u + c;
    rollingSum = static_cast<uint8_t>(rollingSum + static_cast<uint8_t>(rolling));
    rollingXor = static_cast<uint8_t>(rollingXor ^ static_cast<uint8_t>(rolling));
    byteSum = static_cast<uint8_t>(byteSum + c);
    byteXor = static_cast<uint8_t>(byteXor ^ c);
  }
  state->rolling = rolling;
  state->rollingSum = rollingSum;
  state->rollingXor = rollingXor;
  state->byteSum = byteSum;
  state->byteXor = byteXor;
}

void AddToChecksum(PackageChecksum* state, const void* bytes, uint32_t length) {
  if (ChecksumAvx2Usable()) {
    AddToChecksumAvx2(state, bytes, length);
  } else {
    AddToChecksumSse2(state, bytes, length);
  }
}
