// The checksum paths next to the plain loop and memcpy of the same buffer.
// scripts/bench_checksum.sh runs it and prints the ratios.
#include <benchmark/benchmark.h>
#include <string.h>

#include <random>
#include <vector>

#include "package/checksum.h"
#include "package/checksum_internal.h"

namespace {

const size_t kLargest = size_t{64} << 20;

const std::vector<uint8_t>& Source() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(kLargest);
    std::mt19937 random(12345);
    for (uint8_t& x : b) x = static_cast<uint8_t>(random());
    return b;
  }();
  return bytes;
}

typedef void (*ChecksumFunction)(PackageChecksum*, const void*, uint32_t);

void BM_Checksum(benchmark::State& state, ChecksumFunction add, bool needsAvx2) {
  if (needsAvx2 && !ChecksumAvx2Usable()) {
    state.SkipWithError("no AVX2 on this machine");
    return;
  }
  const size_t size = static_cast<size_t>(state.range(0));
  const uint8_t* bytes = Source().data();
  for (auto _ : state) {
    PackageChecksum sum = {0, 0, 0, 0, 0};
    add(&sum, bytes, static_cast<uint32_t>(size));
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BM_Memcpy(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const uint8_t* bytes = Source().data();
  std::vector<uint8_t> target(size, 1);
  for (auto _ : state) {
    memcpy(target.data(), bytes, size);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// 64 MiB streams from memory; 256 KiB stays in the cache and shows the
// arithmetic alone.
void Sizes(benchmark::internal::Benchmark* b) { b->Arg(kLargest)->Arg(256 << 10); }

BENCHMARK_CAPTURE(BM_Checksum, plain, AddToChecksumReference, false)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Checksum, sse2, AddToChecksumSse2, false)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Checksum, avx2, AddToChecksumAvx2, true)->Apply(Sizes);
BENCHMARK(BM_Memcpy)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
