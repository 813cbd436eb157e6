// Self-timed checksum benchmark for builds without Google Benchmark, above
// all the 32-bit one (g++ -m32 -msse2). scripts/bench_checksum.sh compiles it
// with the checksum sources alone and runs it; it checks every path against
// the plain loop first, then times them next to memcpy of the same buffer.
#include <cpuid.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <random>
#include <vector>

#include "package/checksum.h"
#include "package/checksum_internal.h"

namespace {

const size_t kSize = size_t{64} << 20;
const int kRounds = 7;

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// An emulator runs the code but its timings say nothing about the machine.
bool UnderEmulator() {
  unsigned regs[12];
  for (unsigned i = 0; i < 3; ++i) {
    if (!__get_cpuid(0x80000002u + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2], &regs[4 * i + 3])) return false;
  }
  char brand[49];
  memcpy(brand, regs, 48);
  brand[48] = 0;
  return strstr(brand, "QEMU") != nullptr;
}

typedef void (*ChecksumFunction)(PackageChecksum*, const void*, uint32_t);

struct Path {
  const char* name;
  ChecksumFunction add;  // null for memcpy
  bool usable;
  std::vector<double> seconds;
};

}  // namespace

int main() {
  std::vector<uint8_t> source(kSize), target(kSize, 1);
  std::mt19937 random(12345);
  for (uint8_t& b : source) b = static_cast<uint8_t>(random());

  Path paths[] = {
      {"plain", AddToChecksumReference, true, {}},
      {"sse2", AddToChecksumSse2, true, {}},
      {"avx2", AddToChecksumAvx2, ChecksumAvx2Usable() != 0, {}},
      {"memcpy", nullptr, true, {}},
  };

  for (Path& path : paths) {
    if (!path.add || !path.usable) continue;
    PackageChecksum sum = {0, 0, 0, 0, 0};
    path.add(&sum, source.data() + 3, static_cast<uint32_t>(kSize - 3));
    PackageChecksum reference = {0, 0, 0, 0, 0};
    AddToChecksumReference(&reference, source.data() + 3, static_cast<uint32_t>(kSize - 3));
    if (memcmp(&sum, &reference, sizeof sum) != 0) {
      printf("%s: digest differs from the plain loop\n", path.name);
      return 1;
    }
  }

  if (UnderEmulator()) {
    printf("%zu-bit build: every path matches the plain loop; running under an emulator, so no timings\n",
           sizeof(void*) * 8);
    return 0;
  }

  // Rounds interleave the paths so that a slow spell of the machine hits all.
  volatile uint8_t sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (Path& path : paths) {
      if (!path.usable) continue;
      double start = CpuSeconds();
      if (path.add) {
        PackageChecksum sum = {0, 0, 0, 0, 0};
        path.add(&sum, source.data(), static_cast<uint32_t>(kSize));
        sink = static_cast<uint8_t>(sink ^ sum.byteXor);
      } else {
        memcpy(target.data(), source.data(), kSize);
        sink = static_cast<uint8_t>(sink ^ target[static_cast<size_t>(round) * 4099]);
      }
      path.seconds.push_back(CpuSeconds() - start);
    }
  }

  printf("%zu-bit build, %zu MiB buffer, CPU time, median of %d rounds; every path matches the plain loop\n",
         sizeof(void*) * 8, kSize >> 20, kRounds);
  double rate[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    Path& path = paths[i];
    if (!path.usable) {
      printf("  %-7s not available on this machine\n", path.name);
      continue;
    }
    std::sort(path.seconds.begin(), path.seconds.end());
    rate[i] = static_cast<double>(kSize) / path.seconds[path.seconds.size() / 2] / 1e6;
    printf("  %-7s %8.0f MB/s\n", path.name, rate[i]);
  }
  for (int i = 1; i <= 2; ++i) {
    if (rate[i] == 0) continue;
    printf("  %-7s %.2fx plain, %.2fx memcpy\n", paths[i].name, rate[i] / rate[0], rate[i] / rate[3]);
  }
  return 0;
}
