#include "tools/packwriter/package_writer.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "package/checksum.h"
#include "package/package.h"
#include "package/status.h"
#include "support/test_files.h"

namespace {

using packwriter::InputEntry;
using packwriter::WriteOptions;
using packwriter::WriteUpdater;

std::vector<uint8_t> Data(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::array<uint8_t, 8> ReferenceDigest(const uint8_t* bytes, size_t length) {
  PackageChecksum state = {};
  AddToChecksumReference(&state, bytes, static_cast<uint32_t>(length));
  std::array<uint8_t, 8> digest;
  memcpy(digest.data(), &state, 8);
  return digest;
}

uint32_t U32At(const Bytes& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

size_t FilesIn(const std::string& dir) {
  size_t count = 0;
  for (auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++count;
  }
  return count;
}

class PackageWriterTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string out = dir.Path("Update.exe");
};

TEST_F(PackageWriterTest, RoundTripsThroughTheUpdatersReader) {
  std::string big(3 * 1024 * 1024 + 17, '\0');  // several copy buffers
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  WriteText(dir.Path("big.bin"), big);
  std::vector<InputEntry> inputs = {
      {"Readme.TXT", "", Data("hello")},
      {"empty.dat", "", {}},
      {"big.bin", dir.Path("big.bin"), {}},
      {"\x95\\.dat", "", Data("table")},  // 表.dat, trail byte 0x5C
  };
  std::vector<uint8_t> stub = Data("MZ stub image");
  auto written = WriteUpdater(out, stub, inputs);

  Bytes file = ReadBytes(out);
  EXPECT_EQ(0, memcmp(file.data(), "MZ stub image", 13));
  for (size_t i = stub.size(); i < kPackageOffset; ++i) ASSERT_EQ(0, file[i]) << "fill byte " << i;
  EXPECT_EQ(0, memcmp(&file[kPackageOffset], "PackFile    \x05\0\0\0", 16));

  SequentialFile reader;
  Package package;
  ASSERT_EQ(kStatusSuccess, OpenPackageAt(reader, out.c_str(), &package));
  ASSERT_EQ(5u, package.entryCount);
  EXPECT_EQ(kPackageOffset + 16 + 5 * 32, package.dataAreaBase);
  EXPECT_STREQ("fwn.hvl", package.entries[0].name);
  EXPECT_EQ(16u + 4 * 64, package.entries[0].size);
  uint32_t expectedOffset = 0;
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    const PackageEntry& entry = package.entries[i];
    EXPECT_EQ(expectedOffset, entry.offset) << i;
    EXPECT_EQ(written[i].offset, entry.offset);
    EXPECT_EQ(written[i].size, entry.size);
    for (uint8_t byte : entry.reserved) EXPECT_EQ(0, byte);
    expectedOffset += entry.size;
    if (i > 0) {
      EXPECT_STREQ(inputs[i - 1].name.c_str(), entry.name);
      const std::string& expected = inputs[i - 1].sourcePath.empty()
                                        ? std::string(inputs[i - 1].bytes.begin(), inputs[i - 1].bytes.end())
                                        : big;
      ASSERT_EQ(expected.size(), entry.size);
      EXPECT_EQ(0, memcmp(&file[package.dataAreaBase + entry.offset], expected.data(), expected.size())) << i;
    }
  }
  EXPECT_EQ(file.size(), package.dataAreaBase + expectedOffset) << "the last entry ends the file";

  const uint8_t* list = &file[package.dataAreaBase];
  EXPECT_EQ(0, memcmp(list, "QSM_____\0\0\0\0\x04\0\0\0", 16));
  for (uint32_t i = 1; i < package.entryCount; ++i) {
    const PackageEntry& entry = package.entries[i];
    VerificationRecord record;
    memcpy(&record, list + 16 + 64 * (i - 1), 64);
    EXPECT_STREQ(entry.name, record.name);
    for (size_t k = strlen(record.name); k < sizeof record.name; ++k) EXPECT_EQ(0, record.name[k]);
    auto digest = ReferenceDigest(&file[package.dataAreaBase + entry.offset], entry.size);
    EXPECT_EQ(0, memcmp(digest.data(), record.digest, 8)) << entry.name;
    EXPECT_EQ(digest, written[i].digest);
  }
  EXPECT_EQ(ReferenceDigest(list, package.entries[0].size), written[0].digest);
  ReleasePackage(&package);
}

TEST_F(PackageWriterTest, WithoutTheListDataStartsAtTheBaseAndNothingElseIsAdded) {
  WriteOptions options;
  options.verificationList = false;
  WriteUpdater(out, Bytes(kPackageOffset, 0x90), {{"a", "", Data("abc")}}, options);
  Bytes file = ReadBytes(out);
  ASSERT_EQ(DataAreaBase(1) + 3, file.size());
  EXPECT_EQ(1u, U32At(file, kPackageOffset + 12));
  EXPECT_EQ(0, memcmp(&file[DataAreaBase(1)], "abc", 3));
}

TEST_F(PackageWriterTest, ReportsProgressUpToTheTotal) {
  uint64_t lastDone = 0, lastTotal = 0;
  WriteOptions options;
  options.progress = [&](uint64_t done, uint64_t total) {
    EXPECT_GE(done, lastDone);
    lastDone = done;
    lastTotal = total;
  };
  WriteUpdater(out, {}, {{"a", "", Data("abcdef")}}, options);
  EXPECT_EQ(6u + 16 + 64, lastTotal);
  EXPECT_EQ(lastTotal, lastDone);
}

TEST_F(PackageWriterTest, ReplacesAnExistingFileWhole) {
  WriteText(out, std::string(200000, 'x'));
  WriteUpdater(out, {}, {{"a", "", Data("abc")}});
  EXPECT_EQ(DataAreaBase(2) + 16 + 64 + 3, ReadBytes(out).size());
  EXPECT_EQ(1u, FilesIn(dir.path()));
}

void MakeSparse(const std::string& path, off_t size) {
  WriteText(path, "");
  ASSERT_EQ(0, truncate(path.c_str(), size));
}

struct Refusal {
  const char* name;
  std::vector<InputEntry> entries;
  size_t stubSize;
  const char* message;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

std::vector<InputEntry> Numbered(size_t count) {
  std::vector<InputEntry> entries;
  for (size_t i = 0; i < count; ++i) entries.push_back({"e" + std::to_string(i), "", {}});
  return entries;
}

const uint64_t kGiB = uint64_t{1} << 30;

std::vector<Refusal> Refusals() {
  return {
      {"TwentyFourBesidesTheList", Numbered(24), 0, "too many entries: 24 files and the verification list"},
      {"NameOf16Bytes", {{"0123456789abcdef", "", {}}}, 0, "16 bytes long"},
      {"EmptyName", {{"", "", {}}}, 0, "empty name"},
      {"NameWithNul", {{std::string("a\0b", 3), "", {}}}, 0, "NUL"},
      {"SameNameOtherCase", {{"Data.pak", "", {}}, {"DATA.PAK", "", {}}}, 0, "used twice"},
      {"NameOfTheList", {{"FWN.HVL", "", {}}}, 0, "used twice"},
      {"UpOneLevel", {{"..\\x.dll", "", {}}}, 0, "unsafe"},
      {"FromRoot", {{"/etc/x", "", {}}}, 0, "unsafe"},
      {"WithDrive", {{"C:x.dll", "", {}}}, 0, "unsafe"},
      {"StubTooLarge", {}, kPackageOffset + 1, "stub"},
      {"MissingSource", {{"a", "/nonexistent/a", {}}}, 0, "/nonexistent/a"},
      {"FileOf4GiB", {{"huge", "4GiB", {}}}, 0, "4 GiB"},
      {"PastTheSeekLimit",
       {{"a", "1GiB", {}}, {"b", "1GiB", {}}, {"c", "", {}}},
       0,
       "\"c\" would start at file position 2147549536"},
  };
}

class PackageWriterRefusalTest : public PackageWriterTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PackageWriterRefusalTest, RefusesWithOneLineAndWritesNothing) {
  Refusal c = GetParam();
  // Sparse sources: their size is all that is looked at before refusing.
  MakeSparse(dir.Path("4GiB"), static_cast<off_t>(4 * kGiB));
  MakeSparse(dir.Path("1GiB"), static_cast<off_t>(kGiB));
  for (InputEntry& entry : c.entries) {
    if (!entry.sourcePath.empty() && entry.sourcePath[0] != '/') entry.sourcePath = dir.Path(entry.sourcePath);
  }
  try {
    WriteUpdater(out, std::vector<uint8_t>(c.stubSize, 1), c.entries);
    FAIL() << "accepted";
  } catch (const std::runtime_error& error) {
    std::string message = error.what();
    EXPECT_NE(std::string::npos, message.find(c.message)) << message;
    EXPECT_EQ(std::string::npos, message.find('\n')) << message;
  }
  EXPECT_FALSE(FileExists(out));
  EXPECT_EQ(2u, FilesIn(dir.path())) << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(Cases, PackageWriterRefusalTest, ::testing::ValuesIn(Refusals()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackageWriterTest, TwentyThreeEntriesAndAFullStubAreTheLimits) {
  WriteUpdater(out, std::vector<uint8_t>(kPackageOffset, 1), Numbered(23));
  EXPECT_EQ(DataAreaBase(24) + 16 + 23 * 64, ReadBytes(out).size());
}

TEST_F(PackageWriterTest, UncheckedNamesMakeThePackagesTheTestsNeed) {
  WriteOptions options;
  options.checkNames = false;
  auto entries = Numbered(25);
  entries[0].name = "..\\x.dll";
  entries[1].name = "0123456789abcdef";  // fills the field, no NUL
  WriteUpdater(out, {}, entries, options);
  Bytes file = ReadBytes(out);
  EXPECT_EQ(26u, U32At(file, kPackageOffset + 12));
  EXPECT_EQ(0, memcmp(&file[kPackageOffset + 16 + 32], "..\\x.dll\0", 9));
  EXPECT_EQ(0, memcmp(&file[kPackageOffset + 16 + 64], "0123456789abcdef", 16));
  EXPECT_EQ(16u + 25 * 64, U32At(file, kPackageOffset + 16 + 64 + 16));
}

}  // namespace
