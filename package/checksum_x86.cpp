// The checksum with SSE2 and AVX2, exact to the plain loop.
//
// The plain loop waits on its multiply-add chain for every byte. Here the
// bytes are taken as 16-bit pairs (a, b) with pair value p = 233a + b, so one
// pair advances rolling as R' = 233^2 R + p, and each part gets its own form:
//
// rolling    a polynomial in 233 over the pairs. Per 128-byte chunk the sum of
//            p times 233^(2k) (k = pairs still to come) is taken with pmaddwd,
//            which multiplies signed words: p is biased by -32768 (the bias
//            comes back as one constant) and each 32-bit weight is split into
//            a signed low word and a high word whose products only matter
//            modulo 2^16. Then R = R * 233^128 + that sum.
// low byte r of rolling, after every byte, for rollingSum and rollingXor:
//            modulo 256 the pair step is r' = 17 r + p, and 17 has order 16.
//            Scaled by 17^-(g+1) (g = pair index, so the scale repeats every
//            16 pairs) the recurrence becomes a plain prefix sum, done in
//            three shift-add steps per 8 pairs plus the carry of the pairs
//            before. Unscaled, it gives r after each odd byte; r after the
//            even byte before it is (r - b) * 233^-1, and 233 * 89 = 1 mod 256.
//            Lanes are 16 bits wide and only their low bytes are used.
// byteSum    summing r_k = 233 r_(k-1) + c_k over the bytes gives
//            byteSum = 233 (r_end - r_start) - 232 rollingSum, modulo 256.
// byteXor    the XOR of the byte vectors.
//
// Whole 128-byte chunks go through the vector code; the rest, and any input
// shorter than a chunk, through the plain loop.
#include "package/checksum_internal.h"

#if defined(__SSE2__)

#include <cpuid.h>
#include <immintrin.h>

namespace {

const uint32_t kChunk = 128;
const uint32_t kChunkPairs = kChunk / 2;
// Far enough ahead to cover memory latency on buffers larger than the cache.
const uint32_t kPrefetchAhead = 4096;

constexpr uint32_t Power(uint32_t base, uint32_t exponent) {
  uint32_t result = 1;
  for (uint32_t i = 0; i < exponent; ++i) result *= base;
  return result;
}

struct Tables {
  int16_t rollLow[kChunkPairs];   // low word of 233^(2k), as signed
  int16_t rollHigh[kChunkPairs];  // the rest of 233^(2k), over 2^16
  int16_t scale[16];              // 17^-(g+1) mod 256
  int16_t unscale[16];            // 17^(g+1) mod 256
  uint8_t lastPair[32];           // pshufb: every word takes word 7 of its half
  uint32_t rollBias;              // 32768 times the sum of the weights
};

constexpr Tables MakeTables() {
  Tables t{};
  uint32_t weightSum = 0;
  for (uint32_t j = 0; j < kChunkPairs; ++j) {
    uint32_t weight = Power(233, 2 * (kChunkPairs - 1 - j));
    int16_t low = static_cast<int16_t>(weight & 0xFFFF);
    t.rollLow[j] = low;
    t.rollHigh[j] = static_cast<int16_t>((weight - static_cast<uint32_t>(low)) >> 16);
    weightSum += weight;
  }
  t.rollBias = weightSum * 32768u;
  for (uint32_t g = 0; g < 16; ++g) {
    t.scale[g] = static_cast<int16_t>(Power(241, g + 1) & 0xFF);  // 17 * 241 = 1 mod 256
    t.unscale[g] = static_cast<int16_t>(Power(17, g + 1) & 0xFF);
  }
  for (uint32_t i = 0; i < 32; ++i) t.lastPair[i] = static_cast<uint8_t>(14 + (i & 1));
  return t;
}

alignas(32) constexpr Tables kTables = MakeTables();
const uint32_t kChunkPower = Power(233, kChunk);
const short kInverse233 = 89;

static_assert(static_cast<uint8_t>(17 * 241) == 1, "scale inverts unscale");
static_assert(static_cast<uint8_t>(233 * 89) == 1, "inverse of 233 mod 256");
static_assert(Power(233, 2) % 256 == 17, "pair multiplier mod 256");
static_assert(Power(17, 16) % 256 == 1, "scales repeat every 16 pairs");

// Folds the vector sums (16-bit lanes, low bytes count) into the state.
void Finish(PackageChecksum* state, uint32_t rolling, const uint8_t sums[16],
            const uint8_t xors[16], const uint8_t bytes[16]) {
  uint8_t rollingSum = 0;
  uint8_t rollingXor = 0;
  uint8_t byteXor = 0;
  for (int i = 0; i < 16; i += 2) {
    rollingSum = static_cast<uint8_t>(rollingSum + sums[i]);
    rollingXor = static_cast<uint8_t>(rollingXor ^ xors[i]);
  }
  for (int i = 0; i < 16; ++i) byteXor = static_cast<uint8_t>(byteXor ^ bytes[i]);
  uint32_t byteSum = 233u * (rolling - state->rolling) - 232u * rollingSum;
  state->rolling = rolling;
  state->rollingSum = static_cast<uint8_t>(state->rollingSum + rollingSum);
  state->rollingXor = static_cast<uint8_t>(state->rollingXor ^ rollingXor);
  state->byteSum = static_cast<uint8_t>(state->byteSum + byteSum);
  state->byteXor = static_cast<uint8_t>(state->byteXor ^ byteXor);
}

// Few enough to stay in the eight vector registers of a 32-bit build.
struct Sse2Sums {
  __m128i carry;  // prefix sum (scaled low bytes) of all pairs so far, every lane
  __m128i rollSum, rollXor, byteXor;
  __m128i roll;   // this chunk's rolling sum, in four parts
};

// Eight pairs; scale and unscale are those of their place in the 16-pair cycle.
__attribute__((always_inline)) inline void Sse2Pairs(Sse2Sums& s, const uint8_t* at, __m128i scale,
                                                     __m128i unscale, uint32_t pairIndex) {
  const __m128i lowBytes = _mm_set1_epi16(0xFF);
  const __m128i m233 = _mm_set1_epi16(233);
  const __m128i inverse233 = _mm_set1_epi16(kInverse233);
  const __m128i signBit = _mm_set1_epi16(-32768);
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i odd = _mm_srli_epi16(v, 8);
  __m128i pair = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(v, lowBytes), m233), odd);
  __m128i u = _mm_mullo_epi16(pair, scale);
  u = _mm_add_epi16(u, _mm_slli_si128(u, 2));
  u = _mm_add_epi16(u, _mm_slli_si128(u, 4));
  u = _mm_add_epi16(u, _mm_slli_si128(u, 8));
  u = _mm_add_epi16(u, s.carry);
  __m128i top = _mm_shufflehi_epi16(u, 0xFF);
  s.carry = _mm_unpackhi_epi64(top, top);
  __m128i afterOdd = _mm_mullo_epi16(u, unscale);
  __m128i afterEven = _mm_mullo_epi16(_mm_sub_epi16(afterOdd, odd), inverse233);
  s.rollSum = _mm_add_epi16(s.rollSum, _mm_add_epi16(afterOdd, afterEven));
  s.rollXor = _mm_xor_si128(s.rollXor, _mm_xor_si128(afterOdd, afterEven));
  __m128i biased = _mm_xor_si128(pair, signBit);
  const __m128i* low = reinterpret_cast<const __m128i*>(kTables.rollLow + pairIndex);
  const __m128i* high = reinterpret_cast<const __m128i*>(kTables.rollHigh + pairIndex);
  __m128i highPart = _mm_slli_epi32(_mm_madd_epi16(biased, _mm_load_si128(high)), 16);
  s.roll = _mm_add_epi32(s.roll, _mm_add_epi32(_mm_madd_epi16(biased, _mm_load_si128(low)), highPart));
  s.byteXor = _mm_xor_si128(s.byteXor, v);
}

__attribute__((always_inline)) inline uint32_t HorizontalSum(__m128i x) {
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0x4E));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0xB1));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(x));
}

}  // namespace

void AddToChecksumSse2(PackageChecksum* state, const void* bytes, uint32_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint32_t chunks = length / kChunk;
  if (chunks != 0) {
    uint32_t rolling = state->rolling;
    Sse2Sums s;
    s.carry = _mm_set1_epi16(static_cast<short>(rolling & 0xFF));
    s.rollSum = s.rollXor = s.byteXor = _mm_setzero_si128();
    const __m128i* scale = reinterpret_cast<const __m128i*>(kTables.scale);
    const __m128i* unscale = reinterpret_cast<const __m128i*>(kTables.unscale);
    for (uint32_t c = 0; c < chunks; ++c, p += kChunk) {
      _mm_prefetch(reinterpret_cast<const char*>(p) + kPrefetchAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(p) + kPrefetchAhead + 64, _MM_HINT_T0);
      s.roll = _mm_setzero_si128();
      for (uint32_t b = 0; b < kChunk; b += 32) {
        Sse2Pairs(s, p + b, _mm_load_si128(scale), _mm_load_si128(unscale), b / 2);
        Sse2Pairs(s, p + b + 16, _mm_load_si128(scale + 1), _mm_load_si128(unscale + 1), b / 2 + 8);
      }
      uint32_t sum = HorizontalSum(s.roll);
      rolling = rolling * kChunkPower + sum + kTables.rollBias;
    }
    uint8_t sums[16], xors[16], byteXors[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), s.rollSum);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(xors), s.rollXor);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(byteXors), s.byteXor);
    Finish(state, rolling, sums, xors, byteXors);
  }
  AddToChecksumReference(state, p, length - chunks * kChunk);
}

namespace {

struct Avx2Sums {
  __m256i carry;
  __m256i rollSum, rollXor, byteXor;
  __m256i roll;
};

// Sixteen pairs, a full cycle of scales; the two 128-bit halves hold pairs
// 0-7 and 8-15, and the second half takes the first half's total.
__attribute__((target("avx2"), always_inline)) inline void Avx2Pairs(Avx2Sums& s, const uint8_t* at,
                                                                     __m256i scale, __m256i unscale,
                                                                     __m256i lastPair,
                                                                     uint32_t pairIndex) {
  const __m256i lowBytes = _mm256_set1_epi16(0xFF);
  const __m256i m233 = _mm256_set1_epi16(233);
  const __m256i inverse233 = _mm256_set1_epi16(kInverse233);
  const __m256i signBit = _mm256_set1_epi16(-32768);
  __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  __m256i odd = _mm256_srli_epi16(v, 8);
  __m256i pair = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(v, lowBytes), m233), odd);
  __m256i u = _mm256_mullo_epi16(pair, scale);
  u = _mm256_add_epi16(u, _mm256_bslli_epi128(u, 2));
  u = _mm256_add_epi16(u, _mm256_bslli_epi128(u, 4));
  u = _mm256_add_epi16(u, _mm256_bslli_epi128(u, 8));
  __m256i halfTotals = _mm256_shuffle_epi8(u, lastPair);
  u = _mm256_add_epi16(u, _mm256_permute2x128_si256(halfTotals, halfTotals, 0x08));
  u = _mm256_add_epi16(u, s.carry);
  s.carry = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(u, lastPair), 0xFF);
  __m256i afterOdd = _mm256_mullo_epi16(u, unscale);
  __m256i afterEven = _mm256_mullo_epi16(_mm256_sub_epi16(afterOdd, odd), inverse233);
  s.rollSum = _mm256_add_epi16(s.rollSum, _mm256_add_epi16(afterOdd, afterEven));
  s.rollXor = _mm256_xor_si256(s.rollXor, _mm256_xor_si256(afterOdd, afterEven));
  __m256i biased = _mm256_xor_si256(pair, signBit);
  const __m256i* low = reinterpret_cast<const __m256i*>(kTables.rollLow + pairIndex);
  const __m256i* high = reinterpret_cast<const __m256i*>(kTables.rollHigh + pairIndex);
  __m256i highPart = _mm256_slli_epi32(_mm256_madd_epi16(biased, _mm256_loadu_si256(high)), 16);
  s.roll = _mm256_add_epi32(s.roll, _mm256_add_epi32(_mm256_madd_epi16(biased, _mm256_loadu_si256(low)), highPart));
  s.byteXor = _mm256_xor_si256(s.byteXor, v);
}

__attribute__((target("avx2"), always_inline)) inline __m128i FoldHalves16(__m256i x) {
  return _mm_add_epi16(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
}

__attribute__((target("avx2"), always_inline)) inline __m128i FoldHalvesXor(__m256i x) {
  return _mm_xor_si128(_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1));
}

}  // namespace

__attribute__((target("avx2"))) void AddToChecksumAvx2(PackageChecksum* state, const void* bytes,
                                                       uint32_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint32_t chunks = length / kChunk;
  if (chunks != 0) {
    uint32_t rolling = state->rolling;
    Avx2Sums s;
    s.carry = _mm256_set1_epi16(static_cast<short>(rolling & 0xFF));
    s.rollSum = s.rollXor = s.byteXor = _mm256_setzero_si256();
    const __m256i scale = _mm256_load_si256(reinterpret_cast<const __m256i*>(kTables.scale));
    const __m256i unscale = _mm256_load_si256(reinterpret_cast<const __m256i*>(kTables.unscale));
    const __m256i lastPair = _mm256_load_si256(reinterpret_cast<const __m256i*>(kTables.lastPair));
    for (uint32_t c = 0; c < chunks; ++c, p += kChunk) {
      _mm_prefetch(reinterpret_cast<const char*>(p) + kPrefetchAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(p) + kPrefetchAhead + 64, _MM_HINT_T0);
      s.roll = _mm256_setzero_si256();
      for (uint32_t b = 0; b < kChunk; b += 32) Avx2Pairs(s, p + b, scale, unscale, lastPair, b / 2);
      __m128i folded = _mm_add_epi32(_mm256_castsi256_si128(s.roll), _mm256_extracti128_si256(s.roll, 1));
      rolling = rolling * kChunkPower + HorizontalSum(folded) + kTables.rollBias;
    }
    uint8_t sums[16], xors[16], byteXors[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), FoldHalves16(s.rollSum));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(xors), FoldHalvesXor(s.rollXor));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(byteXors), FoldHalvesXor(s.byteXor));
    // GCC adds no vzeroupper to a target("avx2") function; without it, SSE
    // code run later pays for the dirty upper halves.
    _mm256_zeroupper();
    Finish(state, rolling, sums, xors, byteXors);
  }
  AddToChecksumReference(state, p, length - chunks * kChunk);
}

namespace {

// __builtin_cpu_supports would do, but on mingw it links libgcc's whole CPU
// model table (4.7 KiB); the updater has room for the three questions only.
int DetectAvx2() {
  unsigned a, b, c, d;
  const unsigned kOsXsave = 1u << 27, kAvx = 1u << 28, kAvx2 = 1u << 5;
  if (!__get_cpuid(1, &a, &b, &c, &d) || (c & (kOsXsave | kAvx)) != (kOsXsave | kAvx)) return 0;
  unsigned stateLow, stateHigh;
  __asm__("xgetbv" : "=a"(stateLow), "=d"(stateHigh) : "c"(0));
  if ((stateLow & 6) != 6) return 0;  // the system does not save YMM registers
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return 0;
  return (b & kAvx2) != 0;
}

}  // namespace

int ChecksumAvx2Usable() {
  // cpuid is slow under a hypervisor, so the answer is kept after the first call.
  static int usable = -1;
  int known = __atomic_load_n(&usable, __ATOMIC_RELAXED);
  if (known < 0) {
    known = DetectAvx2();
    __atomic_store_n(&usable, known, __ATOMIC_RELAXED);
  }
  return known;
}

#else  // no SSE2: every path is the plain loop

void AddToChecksumSse2(PackageChecksum* state, const void* bytes, uint32_t length) {
  AddToChecksumReference(state, bytes, length);
}

void AddToChecksumAvx2(PackageChecksum* state, const void* bytes, uint32_t length) {
  AddToChecksumReference(state, bytes, length);
}

int ChecksumAvx2Usable() { return 0; }

#endif
