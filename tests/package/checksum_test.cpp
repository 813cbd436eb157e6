#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "package/checksum.h"
#include "package/checksum_internal.h"

namespace {

using Digest = std::vector<uint8_t>;

Digest DigestOf(const PackageChecksum& state) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&state);
  return Digest(bytes, bytes + sizeof state);
}

PackageChecksum ZeroState() {
  PackageChecksum state;
  memset(&state, 0, sizeof state);
  return state;
}

// A start state with every field nonzero, so that the carry from earlier
// bytes takes part.
PackageChecksum MidStreamState() {
  PackageChecksum state;
  state.rolling = 0x9E3779B9u;
  state.rollingSum = 0x5A;
  state.rollingXor = 0xC3;
  state.byteSum = 0x7E;
  state.byteXor = 0x81;
  return state;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(ChecksumReference, WorkedExampleStepByStep) {
  struct Row {
    const char* input;
    uint32_t rolling;
    uint8_t rollingSum, rollingXor, byteSum, byteXor;
  };
  const Row rows[] = {
      {"a", 0x61, 0x61, 0x61, 0x61, 0x61},
      {"ab", 0x58AB, 0x0C, 0xCA, 0xC3, 0x03},
      {"abc", 0x50B406, 0x12, 0xCC, 0x26, 0x60},
  };
  for (const Row& row : rows) {
    PackageChecksum state = ZeroState();
    AddToChecksumReference(&state, row.input, static_cast<uint32_t>(strlen(row.input)));
    EXPECT_EQ(row.rolling, state.rolling) << row.input;
    EXPECT_EQ(row.rollingSum, state.rollingSum) << row.input;
    EXPECT_EQ(row.rollingXor, state.rollingXor) << row.input;
    EXPECT_EQ(row.byteSum, state.byteSum) << row.input;
    EXPECT_EQ(row.byteXor, state.byteXor) << row.input;
  }
}

typedef void (*ChecksumFunction)(PackageChecksum*, const void*, uint32_t);

struct ChecksumPath {
  const char* name;
  ChecksumFunction add;
  bool needsAvx2;
};

void PrintTo(const ChecksumPath& path, std::ostream* out) { *out << path.name; }

const ChecksumPath kPaths[] = {
    {"Dispatch", AddToChecksum, false},
    {"Sse2", AddToChecksumSse2, false},
    {"Avx2", AddToChecksumAvx2, true},
};

class ChecksumPathTest : public ::testing::TestWithParam<ChecksumPath> {
 protected:
  void SetUp() override {
    if (GetParam().needsAvx2 && !ChecksumAvx2Usable()) GTEST_SKIP() << "no AVX2 on this machine";
  }

  Digest Fast(PackageChecksum state, const uint8_t* bytes, uint32_t length) {
    GetParam().add(&state, bytes, length);
    return DigestOf(state);
  }

  static Digest Reference(PackageChecksum state, const uint8_t* bytes, uint32_t length) {
    AddToChecksumReference(&state, bytes, length);
    return DigestOf(state);
  }
};

TEST_P(ChecksumPathTest, WorkedExampleDigest) {
  const uint8_t abc[] = {0x61, 0x62, 0x63};
  EXPECT_EQ((Digest{0x06, 0xB4, 0x50, 0x00, 0x12, 0xCC, 0x26, 0x60}), Fast(ZeroState(), abc, 3));
}

TEST_P(ChecksumPathTest, EmptyInputLeavesStateUnchanged) {
  uint8_t unused = 0xAB;
  EXPECT_EQ(Digest(8, 0), Fast(ZeroState(), &unused, 0));
  EXPECT_EQ(DigestOf(MidStreamState()), Fast(MidStreamState(), &unused, 0));
}

// Every length up to eight vector chunks, at starts off any alignment, from
// the zero state and from a state carried in from earlier bytes.
TEST_P(ChecksumPathTest, MatchesReferenceAtEveryLength) {
  const uint32_t kMaxLength = 1024;
  const uint32_t offsets[] = {1, 3, 6, 13};
  std::vector<uint8_t> data = RandomBytes(kMaxLength + 16, 1);
  for (uint32_t offset : offsets) {
    for (uint32_t length = 0; length <= kMaxLength; ++length) {
      const uint8_t* at = data.data() + offset;
      ASSERT_EQ(Reference(ZeroState(), at, length), Fast(ZeroState(), at, length))
          << "length " << length << " offset " << offset;
      ASSERT_EQ(Reference(MidStreamState(), at, length), Fast(MidStreamState(), at, length))
          << "length " << length << " offset " << offset;
    }
  }
}

// Extreme byte values reach the ends of the pair value range, where the
// signed multiply-add is most likely to be off.
TEST_P(ChecksumPathTest, MatchesReferenceOnUniformAndPatternedData) {
  const uint32_t kLength = 4096 + 77;
  struct Fill {
    const char* name;
    uint8_t (*byteAt)(uint32_t);
  };
  const Fill fills[] = {
      {"zeros", [](uint32_t) -> uint8_t { return 0x00; }},
      {"0xFF", [](uint32_t) -> uint8_t { return 0xFF; }},
      {"0x80", [](uint32_t) -> uint8_t { return 0x80; }},
      {"0xFF/0x00", [](uint32_t i) -> uint8_t { return (i & 1) ? 0x00 : 0xFF; }},
      {"0x00/0xFF", [](uint32_t i) -> uint8_t { return (i & 1) ? 0xFF : 0x00; }},
      {"counter", [](uint32_t i) -> uint8_t { return static_cast<uint8_t>(i); }},
  };
  for (const Fill& fill : fills) {
    std::vector<uint8_t> data(kLength);
    for (uint32_t i = 0; i < kLength; ++i) data[i] = fill.byteAt(i);
    EXPECT_EQ(Reference(ZeroState(), data.data(), kLength), Fast(ZeroState(), data.data(), kLength))
        << fill.name;
    EXPECT_EQ(Reference(MidStreamState(), data.data(), kLength),
              Fast(MidStreamState(), data.data(), kLength))
        << fill.name;
  }
}

// Long enough for every 16-bit lane sum to wrap many times.
TEST_P(ChecksumPathTest, MatchesReferenceOnALargeBuffer) {
  const uint32_t kLength = (1u << 20) + 45;
  std::vector<uint8_t> data = RandomBytes(kLength, 2);
  EXPECT_EQ(Reference(MidStreamState(), data.data(), kLength),
            Fast(MidStreamState(), data.data(), kLength));
}

TEST_P(ChecksumPathTest, TwoCallsEqualOneCallOverTheJoinedBlocks) {
  const uint32_t kLength = 700;
  std::vector<uint8_t> data = RandomBytes(kLength, 3);
  Digest whole = Reference(ZeroState(), data.data(), kLength);
  for (uint32_t split = 0; split <= kLength; ++split) {
    PackageChecksum state = ZeroState();
    GetParam().add(&state, data.data(), split);
    GetParam().add(&state, data.data() + split, kLength - split);
    ASSERT_EQ(whole, DigestOf(state)) << "split at " << split;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, ChecksumPathTest, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<ChecksumPath>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
