// The checksum's vector paths, named so that tests and benchmarks can run
// each one on any machine that has it. AddToChecksum picks among them.
#pragma once

#include <stdint.h>

#include "package/checksum.h"

// The baseline vector path: SSE2 on x86, the plain loop elsewhere.
void AddToChecksumSse2(PackageChecksum* state, const void* bytes, uint32_t length);

// The AVX2 path. Call it only when ChecksumAvx2Usable() is nonzero.
void AddToChecksumAvx2(PackageChecksum* state, const void* bytes, uint32_t length);

// Nonzero when the processor and the system support AVX2.
int ChecksumAvx2Usable();
