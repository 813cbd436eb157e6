#include "package/verification.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "package/checksum.h"
#include "package/package.h"
#include "package/status.h"
#include "support/test_files.h"
#include "tools/packwriter/package_writer.h"

namespace {

using Digest = std::array<uint8_t, kChecksumSize>;

Digest DigestOf(const Bytes& bytes) {
  PackageChecksum state = {};
  AddToChecksum(&state, bytes.data(), static_cast<uint32_t>(bytes.size()));
  Digest digest;
  memcpy(digest.data(), &state, sizeof state);
  return digest;
}

Digest DigestOf(const char* text) { return DigestOf(Bytes(text, text + strlen(text))); }

void PutU32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void Append(Bytes& bytes, const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

// One 64-byte record; the name is copied as given, up to 56 bytes, so a
// 56-byte name leaves no NUL in the field.
Bytes Record(const std::string& name, const Digest& digest) {
  Bytes record(sizeof(VerificationRecord), 0);
  memcpy(record.data(), name.data(), std::min(name.size(), kRecordNameField));
  memcpy(record.data() + kRecordNameField, digest.data(), kChecksumSize);
  return record;
}

// A verification list: header with magic and count, then the records given.
Bytes List(const char* magic, uint32_t count, const std::vector<Bytes>& records) {
  Bytes bytes(kVerificationHeaderSize, 0);
  memcpy(bytes.data(), magic, kVerificationMagicLength);
  PutU32(bytes, 8, 0xDEADBEEF);  // reserved: never read
  PutU32(bytes, 12, count);
  for (const Bytes& record : records) Append(bytes, record);
  return bytes;
}

Bytes List(const std::vector<Bytes>& records) {
  return List(kVerificationMagic, static_cast<uint32_t>(records.size()), records);
}

struct Entry {
  std::string name;
  Bytes data;
  int64_t offset = -1;  // as stored in the table; -1: back to back
};

// An updater file: a zero image up to the package offset, the header, the
// table, and the entries' data back to back in table order.
Bytes Updater(const std::vector<Entry>& entries) {
  Bytes bytes(kPackageOffset, 0);
  Bytes header(sizeof(PackageHeader), 0);
  memcpy(header.data(), kPackageSignature, kSignatureLength);
  PutU32(header, 12, static_cast<uint32_t>(entries.size()));
  Append(bytes, header);
  uint32_t offset = 0;
  for (const Entry& entry : entries) {
    Bytes field(sizeof(PackageEntry), 0);
    memcpy(field.data(), entry.name.data(), entry.name.size());
    PutU32(field, 16, entry.offset >= 0 ? static_cast<uint32_t>(entry.offset) : offset);
    PutU32(field, 20, static_cast<uint32_t>(entry.data.size()));
    Append(bytes, field);
    offset += static_cast<uint32_t>(entry.data.size());
  }
  for (const Entry& entry : entries) Append(bytes, entry.data);
  return bytes;
}

const Bytes kArc = {'a', 'r', 'c'};
const Bytes kRecordA = Record("a.dat", DigestOf("a"));
const Bytes kRecordB = Record("b.dat", DigestOf("b"));

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes bytes;
  for (const Bytes& part : parts) Append(bytes, part);
  return bytes;
}

struct LoadCase {
  const char* name;
  Bytes updater;
  bool present;
  Bytes records;       // the block expected when present
  bool capped = false; // run with little address space: must not allocate
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

std::vector<LoadCase> LoadCases() {
  Bytes two = List({kRecordA, kRecordB});
  Bytes twoRecords = Concat({kRecordA, kRecordB});
  Bytes badMagic = List("QSM____x", 1, {kRecordA});

  // Three records announced, two in the entry: the third is the next
  // entry's bytes, which the file still holds.
  Bytes threeAnnounced = List(kVerificationMagic, 3, {kRecordA, kRecordB});
  Bytes spill = Record("c.dat", DigestOf("c"));

  // A valid list inside the zero image at file offset 1000, reached only
  // through a position that wraps past 4 GiB.
  Bytes wrapped = Updater({{"fwn.hvl", two, 0}});
  uint32_t base = DataAreaBase(1);
  PutU32(wrapped, kPackageOffset + 16 + 16, static_cast<uint32_t>(0x100000000ull - base + 1000));
  std::copy(two.begin(), two.end(), wrapped.begin() + 1000);

  Bytes huge = List(kVerificationMagic, 0x04000000u, {kRecordA});
  Bytes allOnes = List(kVerificationMagic, 0xFFFFFFFFu, {kRecordA});
  Bytes justFits32 = List(kVerificationMagic, 0x03FFFFFFu, {kRecordA});
  Bytes beyondFile = List(kVerificationMagic, 0x00100000u, {kRecordA});  // 64 MiB

  return {
      {"NoListEntry", Updater({{"a.dat", kArc}, {"fwn.hvl.bak", two}}), false, {}},
      {"LoadsTheList", Updater({{"a.dat", kArc}, {"fwn.hvl", two}}), true, twoRecords},
      {"NameInCapitals", Updater({{"FWN.HVL", two}}), true, twoRecords},
      {"NameInMixedCase", Updater({{"fWn.HvL", two}}), true, twoRecords},
      {"LongerName", Updater({{"fwn.hvlx", two}}), false, {}},
      {"ShorterName", Updater({{"fwn.hv", two}}), false, {}},
      {"MagicDiffersInCase", Updater({{"fwn.hvl", List("qsm_____", 2, {kRecordA, kRecordB})}}), false, {}},
      {"HeaderCutShort", Updater({{"fwn.hvl", Bytes(two.begin(), two.begin() + 15)}}), false, {}},
      {"RecordsRunPastEndOfFile", Updater({{"fwn.hvl", Bytes(two.begin(), two.end() - 1)}}), false, {}},
      {"RecordsReadBeyondTheEntry", Updater({{"fwn.hvl", threeAnnounced}, {"c.dat", spill}}), true,
       Concat({kRecordA, kRecordB, spill})},
      {"CountZero", Updater({{"fwn.hvl", List({})}}), true, {}},
      {"FirstOfTwoIsLoaded", Updater({{"fwn.hvl", List({kRecordB})}, {"FWN.HVL", two}}), true, kRecordB},
      {"SecondNotTriedWhenFirstFails", Updater({{"fwn.hvl", badMagic}, {"FWN.HVL", two}}), false, {}},
      {"SeekFails", Updater({{"fwn.hvl", two, 0x80000000ll - base}}), false, {}},
      {"PositionWrapsPast4GiB", wrapped, false, {}},
      {"CountOverflows32Bits", Updater({{"fwn.hvl", huge}}), false, {}, true},
      {"CountAllOnes", Updater({{"fwn.hvl", allOnes}}), false, {}, true},
      {"CountNearly4GiB", Updater({{"fwn.hvl", justFits32}}), false, {}, true},
      {"CountBeyondTheFile", Updater({{"fwn.hvl", beyondFile}}), false, {}, true},
  };
}

class LoadVerificationListTest : public ::testing::TestWithParam<LoadCase> {
 protected:
  TempDir dir;
  std::string path = dir.Path("Update.exe");

  VerificationList Load() {
    SequentialFile file;
    Package package;
    EXPECT_EQ(kStatusSuccess, OpenPackageAt(file, path.c_str(), &package));
    if (package.problem != kPackageOk) return VerificationList{nullptr, 0};
    VerificationList list =
        LoadVerificationList(file, package.entries, package.entryCount, package.dataAreaBase);
    ReleasePackage(&package);
    return list;
  }

  // Loads in a child whose address space can grow by 64 MiB at most, so
  // that an allocation sized by the count alone fails (or kills the child
  // under the sanitizer). Exit 0: absent, and no allocation was refused.
  int LoadWithLittleMemory() {
    pid_t child = fork();
    if (child == 0) {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64u << 20);
      struct rlimit limit = {cap, cap};
      if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
      SequentialFile file;
      Package package;
      if (OpenPackageAt(file, path.c_str(), &package) != kStatusSuccess) _exit(4);
      errno = 0;
      VerificationList list =
          LoadVerificationList(file, package.entries, package.entryCount, package.dataAreaBase);
      int refused = errno == ENOMEM;
      _exit(list.records != nullptr ? 1 : refused ? 2 : 0);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
  }
};

TEST_P(LoadVerificationListTest, LoadsTheFirstListOrNone) {
  const LoadCase& c = GetParam();
  WriteBytes(path, c.updater);
  if (c.capped) {
    EXPECT_EQ(0, LoadWithLittleMemory());
    return;
  }
  VerificationList list = Load();
  if (!c.present) {
    EXPECT_EQ(nullptr, list.records);
    EXPECT_EQ(0u, list.count);
    return;
  }
  ASSERT_NE(nullptr, list.records);
  ASSERT_EQ(c.records.size(), list.count * sizeof(VerificationRecord));
  const unsigned char* block = reinterpret_cast<const unsigned char*>(list.records);
  EXPECT_EQ(c.records, Bytes(block, block + c.records.size()));
  ReleaseVerificationList(&list);
  EXPECT_EQ(nullptr, list.records);
  EXPECT_EQ(0u, list.count);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoadVerificationListTest, ::testing::ValuesIn(LoadCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Records in a heap block of exactly their size, so that reading past the
// last one is caught by the sanitizer.
class RecordBlock {
 public:
  explicit RecordBlock(const std::vector<Bytes>& records)
      : block_(new VerificationRecord[records.size()]), list_{block_.get(), static_cast<uint32_t>(records.size())} {
    for (size_t i = 0; i < records.size(); ++i) memcpy(&block_[i], records[i].data(), sizeof(VerificationRecord));
  }
  const VerificationList& list() const { return list_; }

 private:
  std::unique_ptr<VerificationRecord[]> block_;
  VerificationList list_;
};

struct VerifyCase {
  const char* name;
  std::vector<Bytes> records;
  std::string entryName;
  Digest digest;
  VerifyOutcome outcome;
};

void PrintTo(const VerifyCase& c, std::ostream* os) { *os << c.name; }

std::vector<VerifyCase> VerifyCases() {
  Digest one = DigestOf("one");
  Digest two = DigestOf("two");
  Digest other = DigestOf("other");
  std::string full(kRecordNameField, 'n');  // fills the field: no NUL
  return {
      {"Matches", {Record("x.pak", other), Record("a.pak", one)}, "a.pak", one, Verified},
      {"Differs", {Record("a.pak", one)}, "a.pak", two, Mismatch},
      {"FirstRecordMismatchNotSavedBySecond", {Record("a.pak", one), Record("a.pak", two)}, "a.pak", two, Mismatch},
      {"FirstRecordMatchNotSpoiledBySecond", {Record("a.pak", one), Record("a.pak", two)}, "a.pak", one, Verified},
      {"FirstByFoldedName", {Record("A.PAK", one), Record("a.pak", two)}, "a.pak", two, Mismatch},
      {"RecordInCapitals", {Record("DATA.PAK", one)}, "data.pak", one, Verified},
      {"EntryInCapitals", {Record("data.pak", one)}, "Data.Pak", one, Verified},
      {"TrailByteFoldedOnBothSides", {Record("\x83\x41.dat", one)}, "\x83\x61.dat", one, Verified},
      {"TrailByteFoldedEntrySide", {Record("\x83\x61.dat", one)}, "\x83\x41.dat", two, Mismatch},
      {"OnlyAsciiLettersFold", {Record("\xC1.dat", one)}, "\xE1.dat", one, NotListed},
      {"OtherFilesOnly", {Record("x.pak", one), Record("y.pak", two)}, "a.pak", one, NotListed},
      {"NoRecords", {}, "a.pak", one, NotListed},
      {"PrefixIsNotTheName", {Record("a.pak", one)}, "a.pa", one, NotListed},
      {"NameFillingTheField", {Record(full, one)}, full, one, Verified},
      {"NameFillingTheFieldIsNoPrefix", {Record(full, one)}, full + "x", one, NotListed},
  };
}

class VerifyEntryTest : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyEntryTest, FirstRecordOfTheFoldedNameDecides) {
  const VerifyCase& c = GetParam();
  RecordBlock block(c.records);
  EXPECT_EQ(c.outcome, VerifyEntry(block.list(), c.entryName.c_str(), c.digest.data()));
}

INSTANTIATE_TEST_SUITE_P(Cases, VerifyEntryTest, ::testing::ValuesIn(VerifyCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The list as the package writer makes it decides every entry of its
// package, read back the way the installation reads them.
TEST(VerificationRoundTrip, WrittenPackageVerifiesItsEntries) {
  TempDir dir;
  std::string path = dir.Path("Update.exe");
  std::vector<packwriter::InputEntry> inputs = {
      {"Data01.PAK", "", Bytes(5000, 0x5A)},
      {"\x95\x5C.dat", "", {'x', 'y'}},
      {"empty.bin", "", {}},
  };
  packwriter::WriteUpdater(path, {'M', 'Z'}, inputs);

  SequentialFile file;
  Package package;
  ASSERT_EQ(kStatusSuccess, OpenPackageAt(file, path.c_str(), &package));
  VerificationList list =
      LoadVerificationList(file, package.entries, package.entryCount, package.dataAreaBase);
  ASSERT_NE(nullptr, list.records);
  EXPECT_EQ(inputs.size(), list.count);
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    const PackageEntry& entry = package.entries[i];
    SCOPED_TRACE(entry.name);
    Bytes data(entry.size);
    ASSERT_EQ(1, file.Seek(package.dataAreaBase + entry.offset));
    ASSERT_EQ(entry.size, file.Read(data.data(), entry.size));
    bool isList = strcmp(entry.name, kVerificationListName) == 0;
    EXPECT_EQ(isList ? NotListed : Verified, VerifyEntry(list, entry.name, DigestOf(data).data()));
    if (isList) continue;
    data.push_back(0xFF);  // one byte more must show
    EXPECT_EQ(Mismatch, VerifyEntry(list, entry.name, DigestOf(data).data()));
  }
  ReleaseVerificationList(&list);
  ReleasePackage(&package);
}

TEST(VerifyEntryAbsentList, EveryEntryIsNotListed) {
  VerificationList absent = {nullptr, 0};
  EXPECT_EQ(NotListed, VerifyEntry(absent, "a.pak", DigestOf("a").data()));
  ReleaseVerificationList(&absent);
  EXPECT_EQ(nullptr, absent.records);
}

}  // namespace
