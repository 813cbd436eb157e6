#include <gtest/gtest.h>
#include <string.h>

#include "package/package.h"
#include "package/status.h"
#include "support/test_files.h"

namespace {

void PutU32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// An updater file made by hand: zero image, a header announcing
// `announced` entries, and `tableEntries` 32-byte entries named e0, e1, ...
Bytes HandMadeUpdater(uint32_t announced, uint32_t tableEntries, const char* signature = "PackFile    ") {
  Bytes bytes(kPackageOffset + 16 + 32 * tableEntries, 0);
  memcpy(&bytes[kPackageOffset], signature, 12);
  PutU32(bytes, kPackageOffset + 12, announced);
  for (uint32_t i = 0; i < tableEntries; ++i) {
    size_t at = kPackageOffset + 16 + 32 * i;
    std::string name = "e" + std::to_string(i);
    memcpy(&bytes[at], name.c_str(), name.size());
    PutU32(bytes, at + 16, i * 100);
    PutU32(bytes, at + 20, 100);
  }
  return bytes;
}

class OpenPackageTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.Path("Update.exe");

  uint32_t Open(const Bytes& bytes, Package* package) {
    WriteBytes(path, bytes);
    SequentialFile file;
    uint32_t status = OpenPackageAt(file, path.c_str(), package);
    // On failure the file is closed; on success it stays open.
    EXPECT_EQ(status == kStatusSuccess ? 1 : -1, file.Close() == -1 ? -1 : 1);
    return status;
  }
};

struct RefusalCase {
  const char* name;
  Bytes bytes;
  uint32_t status;
  PackageProblem problem;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

Bytes WithName(Bytes bytes, uint32_t entry, const char* field, size_t length) {
  size_t at = kPackageOffset + 16 + 32 * entry;
  memset(&bytes[at], 0, 16);
  memcpy(&bytes[at], field, length);
  return bytes;
}

std::vector<RefusalCase> RefusalCases() {
  Bytes full = HandMadeUpdater(3, 3);
  return {
      {"Missing", {}, kStatusUnreadable, kPackageTooShort},
      {"OneByteShort", Bytes(kPackageOffset - 1, 0), kStatusUnreadable, kPackageTooShort},
      {"ExactlyTheImage", Bytes(kPackageOffset, 0), kStatusUnreadable, kPackageHeaderCut},
      {"HeaderCutAt1", Bytes(full.begin(), full.begin() + kPackageOffset + 1), kStatusUnreadable, kPackageHeaderCut},
      {"HeaderCutAt15", Bytes(full.begin(), full.begin() + kPackageOffset + 15), kStatusUnreadable, kPackageHeaderCut},
      {"Count25", HandMadeUpdater(25, 0), kStatusTooManyEntries, kPackageTooManyEntries},
      {"Count2To31", HandMadeUpdater(0x80000000u, 0), kStatusTooManyEntries, kPackageTooManyEntries},
      {"CountAllOnes", HandMadeUpdater(0xFFFFFFFFu, 0), kStatusTooManyEntries, kPackageTooManyEntries},
      {"TableCut", Bytes(full.begin(), full.end() - 1), kStatusUnreadable, kPackageTableCut},
      {"TableMissing", HandMadeUpdater(3, 0), kStatusUnreadable, kPackageTableCut},
      {"NameWithoutNul", WithName(full, 1, "0123456789abcdef", 16), kStatusUnreadable, kPackageNameUnterminated},
      {"NameFromRoot", WithName(full, 2, "\\evil.dll", 9), kStatusUnreadable, kPackageNameUnsafe},
      {"NameFromSlash", WithName(full, 2, "/etc/x", 6), kStatusUnreadable, kPackageNameUnsafe},
      {"NameWithDrive", WithName(full, 0, "C:x.dll", 7), kStatusUnreadable, kPackageNameUnsafe},
      {"NameUpOneLevel", WithName(full, 0, "..\\x.dll", 8), kStatusUnreadable, kPackageNameUnsafe},
      {"NameUpInside", WithName(full, 0, "a/../../x", 9), kStatusUnreadable, kPackageNameUnsafe},
      {"NameJustDots", WithName(full, 0, "..", 2), kStatusUnreadable, kPackageNameUnsafe},
      {"NameDotsAndSpace", WithName(full, 0, "a\\.. \\x", 7), kStatusUnreadable, kPackageNameUnsafe},
      // '/' is no trail byte, so it separates even after a lead byte.
      {"LeadByteBeforeSlash", WithName(full, 0, "\x81/../x", 6), kStatusUnreadable, kPackageNameUnsafe},
  };
}

class OpenPackageRefusalTest : public OpenPackageTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(OpenPackageRefusalTest, RefusesWithTheStatusAndLeavesNothing) {
  const RefusalCase& c = GetParam();
  Package package;
  if (c.bytes.empty()) {
    SequentialFile file;
    EXPECT_EQ(c.status, OpenPackageAt(file, dir.Path("missing.exe").c_str(), &package));
    EXPECT_EQ(kPackageCannotOpen, package.problem);
    return;
  }
  EXPECT_EQ(c.status, Open(c.bytes, &package));
  EXPECT_EQ(c.problem, package.problem);
  EXPECT_EQ(nullptr, package.entries);
  EXPECT_EQ(nullptr, package.writtenNames);
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenPackageRefusalTest, ::testing::ValuesIn(RefusalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpenPackageTest, EmptyTableIsAcceptedWithItsBase) {
  Package package;
  ASSERT_EQ(kStatusSuccess, Open(HandMadeUpdater(0, 0), &package));
  EXPECT_EQ(0u, package.entryCount);
  EXPECT_EQ(65552u, package.dataAreaBase);
  EXPECT_EQ(nullptr, package.writtenNames[0]);
  ReleasePackage(&package);
}

TEST_F(OpenPackageTest, SeventeenEntriesGiveTheShippedBase) {
  Package package;
  ASSERT_EQ(kStatusSuccess, Open(HandMadeUpdater(17, 17), &package));
  EXPECT_EQ(17u, package.entryCount);
  EXPECT_EQ(66096u, package.dataAreaBase);
  EXPECT_STREQ("e16", package.entries[16].name);
  EXPECT_EQ(1600u, package.entries[16].offset);
  EXPECT_EQ(100u, package.entries[16].size);
  EXPECT_EQ(nullptr, package.writtenNames[17]);
  ReleasePackage(&package);
}

TEST_F(OpenPackageTest, TwentyFourEntriesAreTheLimit) {
  Package package;
  ASSERT_EQ(kStatusSuccess, Open(HandMadeUpdater(24, 24), &package));
  EXPECT_EQ(66320u, package.dataAreaBase);
  ReleasePackage(&package);
}

TEST_F(OpenPackageTest, AnySignatureReservedBytesAndTrailingDataAreAccepted) {
  Bytes bytes = HandMadeUpdater(2, 2, "not a pack!!");
  bytes[kPackageOffset + 16 + 24] = 0xAB;  // reserved of entry 0
  bytes.insert(bytes.end(), 5000, 0x77);
  Package package;
  ASSERT_EQ(kStatusSuccess, Open(bytes, &package));
  EXPECT_EQ(2u, package.entryCount);
  ReleasePackage(&package);
}

TEST_F(OpenPackageTest, SafeNamesAreKeptAsStored) {
  Bytes bytes = HandMadeUpdater(4, 4);
  bytes = WithName(bytes, 0, "", 0);
  bytes = WithName(bytes, 1, "Sub\\Data.PAK", 12);
  bytes = WithName(bytes, 2, "\x95\\.dat", 6);  // "表.dat": 0x5C is a trail byte here
  bytes = WithName(bytes, 3, "a..b.txt", 8);
  Package package;
  ASSERT_EQ(kStatusSuccess, Open(bytes, &package));
  EXPECT_STREQ("", package.entries[0].name);
  EXPECT_STREQ("Sub\\Data.PAK", package.entries[1].name);
  EXPECT_STREQ("\x95\\.dat", package.entries[2].name);
  ReleasePackage(&package);
}

}  // namespace
