#include "package/install.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "package/status.h"
#include "platform/platform.h"
#include "support/test_files.h"
#include "tools/packwriter/package_writer.h"

namespace {

using packwriter::InputEntry;
using packwriter::WriteOptions;
using packwriter::WrittenEntry;

WriteOptions WithoutList() {
  WriteOptions options;
  options.verificationList = false;
  return options;
}

// Names the updater accepts but the writer refuses; no list, since the first
// record of a folded name would decide both entries.
WriteOptions UncheckedNames() {
  WriteOptions options = WithoutList();
  options.checkNames = false;
  return options;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

InputEntry Entry(const std::string& name, const std::string& content) {
  return InputEntry{name, "", std::vector<uint8_t>(content.begin(), content.end())};
}

class InstallTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string package = dir.Path("Update.exe");
  std::string folder = dir.Path("game");
  std::vector<WrittenEntry> table;

  void SetUp() override {
    mkdir(folder.c_str(), 0755);
    WriteText(Target("uninst.lst"), std::string("game.exe\nold.pak\n") + '\0');
  }

  std::string Target(const std::string& name) const { return folder + "/" + name; }

  void Pack(const std::vector<InputEntry>& entries, WriteOptions options = {}) {
    table = packwriter::WriteUpdater(package, {}, entries, options);
  }

  // The file position of entry k's data.
  size_t DataPosition(size_t k) const {
    return 65536 + 16 + 32 * table.size() + table[k].offset;
  }

  void PatchPackage(size_t position, const Bytes& bytes) {
    Bytes file = ReadBytes(package);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(position));
    WriteBytes(package, file);
  }

  uint32_t Install() { return InstallPackageFrom(package.c_str(), folder.c_str()); }

  std::string UninstallList() { return Text(ReadBytes(Target("uninst.lst"))); }
};

std::vector<InputEntry> ThreeEntries() {
  return {Entry("data1.pak", "first"), Entry("Data2.PAK", "second"), Entry("data3.pak", "third")};
}

TEST_F(InstallTest, WritesEveryEntryAndRecordsTheNames) {
  Pack(ThreeEntries());
  ASSERT_EQ(kStatusSuccess, Install());
  EXPECT_EQ("first", Text(ReadBytes(Target("data1.pak"))));
  EXPECT_EQ("second", Text(ReadBytes(Target("Data2.PAK"))));
  EXPECT_EQ("third", Text(ReadBytes(Target("data3.pak"))));
  // The verification list is installed like any entry, and listed first.
  EXPECT_TRUE(FileExists(Target("fwn.hvl")));
  EXPECT_EQ(std::string("game.exe\nold.pak\nfwn.hvl\ndata1.pak\nData2.PAK\ndata3.pak\n") + '\0',
            UninstallList());
}

TEST_F(InstallTest, MismatchStopsBeforeTheEntryAndLeavesLaterTargetsAlone) {
  Pack(ThreeEntries());
  PatchPackage(DataPosition(2), {'S'});  // "second" becomes "Second"
  WriteText(Target("Data2.PAK"), "old 2");
  MakeReadOnly(Target("Data2.PAK"));
  WriteText(Target("data3.pak"), "old 3");
  std::string listBefore = UninstallList();

  EXPECT_EQ(kStatusMismatch, Install());
  EXPECT_EQ("first", Text(ReadBytes(Target("data1.pak"))));
  EXPECT_EQ("old 2", Text(ReadBytes(Target("Data2.PAK"))));
  EXPECT_FALSE(IsWritable(Target("Data2.PAK"))) << "attributes of the failing entry's target stay";
  EXPECT_EQ("old 3", Text(ReadBytes(Target("data3.pak"))));
  EXPECT_EQ(listBefore, UninstallList());
}

TEST_F(InstallTest, ReadOnlyTargetIsReplacedAndNoLongerReadOnly) {
  Pack(ThreeEntries());
  WriteText(Target("data1.pak"), "old");
  MakeReadOnly(Target("data1.pak"));
  ASSERT_EQ(kStatusSuccess, Install());
  EXPECT_EQ("first", Text(ReadBytes(Target("data1.pak"))));
  EXPECT_TRUE(IsWritable(Target("data1.pak")));
}

TEST_F(InstallTest, TargetHeldOpenByAnotherProcessStopsWithWriteFailure) {
  Pack(ThreeEntries());
  WriteText(Target("data3.pak"), "held");
  FileHolder holder(Target("data3.pak"), GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(holder.holding());
  std::string listBefore = UninstallList();
  EXPECT_EQ(kStatusWriteFailed, Install());
  EXPECT_EQ("second", Text(ReadBytes(Target("Data2.PAK"))));
  EXPECT_EQ("held", Text(ReadBytes(Target("data3.pak"))));
  EXPECT_EQ(listBefore, UninstallList());
}

TEST_F(InstallTest, EntryRunningPastTheEndOfTheFileIsUnreadable) {
  Pack(ThreeEntries());
  Bytes file = ReadBytes(package);
  file.resize(DataPosition(3) + 2);  // inside "third"
  WriteBytes(package, file);
  EXPECT_EQ(kStatusUnreadable, Install());
  EXPECT_EQ("second", Text(ReadBytes(Target("Data2.PAK"))));
  EXPECT_FALSE(FileExists(Target("data3.pak")));
}

TEST_F(InstallTest, PositionsTheSeekRefusesAreUnreadable) {
  for (uint32_t offset : {0x80000000u - 65536u, 0xFFFFFFF0u}) {
    Pack(ThreeEntries(), WithoutList());
    Bytes offsetBytes = {static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8),
                         static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 24)};
    PatchPackage(65536 + 16 + 32 * 1 + 16, offsetBytes);
    EXPECT_EQ(kStatusUnreadable, Install()) << std::hex << offset;
    EXPECT_EQ("first", Text(ReadBytes(Target("data1.pak"))));
    EXPECT_FALSE(FileExists(Target("Data2.PAK")));
  }
}

TEST_F(InstallTest, EmptyPackageStillUpdatesTheUninstallList) {
  Pack({}, WithoutList());
  std::string listBefore = UninstallList();
  EXPECT_EQ(kStatusSuccess, Install());
  EXPECT_EQ(listBefore, UninstallList());
  remove(Target("uninst.lst").c_str());
  EXPECT_EQ(kStatusUninstallListFailed, Install());
}

TEST_F(InstallTest, MissingUninstallListGivesItsStatusAfterEveryFileIsWritten) {
  Pack(ThreeEntries());
  remove(Target("uninst.lst").c_str());
  EXPECT_EQ(kStatusUninstallListFailed, Install());
  EXPECT_EQ("third", Text(ReadBytes(Target("data3.pak"))));
  EXPECT_FALSE(FileExists(Target("uninst.lst")));
}

TEST_F(InstallTest, SameNameTwiceWritesBothInOrderAndListsItOnce) {
  Pack({Entry("twin.dat", "one"), Entry("twin.dat", "two"), Entry("TWIN.dat", "three")},
       UncheckedNames());
  ASSERT_EQ(kStatusSuccess, Install());
  EXPECT_EQ("two", Text(ReadBytes(Target("twin.dat"))));
  // The list's search is case-sensitive, so the other spelling is a line of its own.
  EXPECT_EQ(std::string("game.exe\nold.pak\ntwin.dat\nTWIN.dat\n") + '\0', UninstallList());
}

TEST_F(InstallTest, EmptyEntryCreatesOrEmptiesItsFile) {
  WriteText(Target("empty.dat"), "not empty");
  Pack({Entry("empty.dat", ""), Entry("new.dat", "")});
  ASSERT_EQ(kStatusSuccess, Install());
  EXPECT_TRUE(ReadBytes(Target("empty.dat")).empty());
  EXPECT_TRUE(FileExists(Target("new.dat")));
}

TEST_F(InstallTest, NameIntoAMissingSubfolderCannotBeWritten) {
  Pack({Entry("ok.dat", "ok"), Entry("sub\\x.dat", "x")});
  EXPECT_EQ(kStatusWriteFailed, Install());
  EXPECT_EQ("ok", Text(ReadBytes(Target("ok.dat"))));
  mkdir(Target("sub").c_str(), 0755);
  EXPECT_EQ(kStatusSuccess, Install());
  EXPECT_EQ("x", Text(ReadBytes(Target("sub/x.dat"))));
}

TEST_F(InstallTest, PathLongerThanTheBufferFailsBeforeTouchingTheTarget) {
  // A folder of 245 bytes: with '\', a 14-byte name and the NUL, 261 bytes.
  std::string longFolder = folder + "/" + std::string(244 - folder.size(), 'f');
  ASSERT_EQ(245u, longFolder.size());
  mkdir(longFolder.c_str(), 0755);
  Pack({Entry("a.dat", "a"), Entry("fourteen_chars", "b")}, WithoutList());
  EXPECT_EQ(kStatusWriteFailed, InstallPackageFrom(package.c_str(), longFolder.c_str()));
  EXPECT_EQ("a", Text(ReadBytes(longFolder + "/a.dat")));
}

TEST_F(InstallTest, UnreadablePackagesWriteNothing) {
  EXPECT_EQ(kStatusUnreadable, InstallPackageFrom(dir.Path("missing.exe").c_str(), folder.c_str()));
  Pack(ThreeEntries());
  PatchPackage(65536 + 12, {25, 0, 0, 0});
  EXPECT_EQ(kStatusTooManyEntries, Install());
  EXPECT_FALSE(FileExists(Target("data1.pak")));
}

}  // namespace
