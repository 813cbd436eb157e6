#include "fileio/sequential_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/test_files.h"

namespace {

class SequentialFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string existing = dir.Path("existing.bin");
  void SetUp() override { WriteText(existing, "0123456789"); }
};

TEST_F(SequentialFileTest, OpenOnAnOpenObjectFailsAndKeepsTheFirstFileAndPosition) {
  SequentialFile file;
  ASSERT_EQ(1, file.OpenRead(existing.c_str()));
  char buffer[4] = {};
  ASSERT_EQ(3u, file.Read(buffer, 3));
  WriteText(dir.Path("other"), "other");
  EXPECT_EQ(0, file.OpenRead(dir.Path("other").c_str()));
  EXPECT_EQ(0, file.OpenWrite(dir.Path("other").c_str()));
  ASSERT_EQ(3u, file.Read(buffer, 3));
  EXPECT_EQ(std::string("345"), std::string(buffer, 3));
  EXPECT_EQ(5u, ReadBytes(dir.Path("other")).size());
}

TEST_F(SequentialFileTest, FailedOpenLeavesTheObjectReusable) {
  SequentialFile file;
  EXPECT_EQ(0, file.OpenRead(dir.Path("missing").c_str()));
  EXPECT_EQ(0xFFFFFFFFu, file.GetSize());
  EXPECT_EQ(-1, file.Close());
  ASSERT_EQ(1, file.OpenWrite(dir.Path("missing").c_str()));
  EXPECT_EQ(2u, file.Write("ab", 2));
  EXPECT_NE(0, file.Close());
  EXPECT_EQ(2u, ReadBytes(dir.Path("missing")).size());
}

TEST_F(SequentialFileTest, OpenWriteEmptiesAnExistingFile) {
  SequentialFile file;
  ASSERT_EQ(1, file.OpenWrite(existing.c_str()));
  EXPECT_EQ(0u, file.GetSize());
  file.Close();
  EXPECT_TRUE(ReadBytes(existing).empty());
}

TEST_F(SequentialFileTest, OpenWriteRefusesAReadOnlyFileAndLeavesIt) {
  MakeReadOnly(existing);
  SequentialFile file;
  EXPECT_EQ(0, file.OpenWrite(existing.c_str()));
  EXPECT_EQ(10u, ReadBytes(existing).size());
  ASSERT_NE(0, SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(1, file.OpenWrite(existing.c_str()));
}

struct SharingCase {
  const char* name;
  unsigned holderAccess;
  unsigned holderShare;
  bool readAllowed;
  bool writeAllowed;
};

void PrintTo(const SharingCase& c, std::ostream* os) { *os << c.name; }

class SharingTest : public SequentialFileTest, public ::testing::WithParamInterface<SharingCase> {};

TEST_P(SharingTest, AnotherProcessHoldingTheFileDecidesWhichOpensSucceed) {
  const SharingCase& c = GetParam();
  FileHolder holder(existing, c.holderAccess, c.holderShare);
  ASSERT_TRUE(holder.holding());
  SequentialFile reader;
  EXPECT_EQ(c.readAllowed ? 1 : 0, reader.OpenRead(existing.c_str()));
  SequentialFile writer;
  EXPECT_EQ(c.writeAllowed ? 1 : 0, writer.OpenWrite(existing.c_str()));
  EXPECT_EQ(10u, ReadBytes(existing).size()) << "a refused OpenWrite must not empty the file";
}

INSTANTIATE_TEST_SUITE_P(
    Holders, SharingTest,
    ::testing::Values(SharingCase{"ReaderSharingRead", GENERIC_READ, FILE_SHARE_READ, true, false},
                      SharingCase{"ReaderSharingNothing", GENERIC_READ, 0, false, false},
                      SharingCase{"WriterSharingNothing", GENERIC_WRITE, 0, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SequentialFileTest, ReadsAtAndAcrossTheEndOfTheFile) {
  SequentialFile file;
  ASSERT_EQ(1, file.OpenRead(existing.c_str()));
  char buffer[32];
  EXPECT_EQ(0u, file.Read(buffer, 0));
  ASSERT_EQ(1, file.Seek(8));
  EXPECT_EQ(2u, file.Read(buffer, 32));
  EXPECT_EQ(0u, file.Read(buffer, 32));
  ASSERT_EQ(1, file.Seek(10));
  EXPECT_EQ(0u, file.Read(buffer, 1));
  EXPECT_EQ(1, file.Seek(1000));
  EXPECT_EQ(0u, file.Read(buffer, 1));
}

TEST_F(SequentialFileTest, WrongDirectionCallsTransferNothing) {
  SequentialFile reader;
  ASSERT_EQ(1, reader.OpenRead(existing.c_str()));
  EXPECT_EQ(0u, reader.Write("x", 1));
  SequentialFile writer;
  ASSERT_EQ(1, writer.OpenWrite(dir.Path("new").c_str()));
  char buffer[4];
  EXPECT_EQ(0u, writer.Read(buffer, 4));
  EXPECT_EQ(0u, writer.Write("x", 0));
}

TEST_F(SequentialFileTest, SeekRefusesPositionsFrom2To31OpenOrNot) {
  SequentialFile closed;
  EXPECT_EQ(0, closed.Seek(0x80000000u));
  EXPECT_EQ(0, closed.Seek(0xFFFFFFFFu));
  EXPECT_EQ(0, closed.Seek(0));
  SequentialFile file;
  ASSERT_EQ(1, file.OpenRead(existing.c_str()));
  ASSERT_EQ(1, file.Seek(4));
  EXPECT_EQ(0, file.Seek(0x80000000u));
  EXPECT_EQ(0, file.Seek(0xFFFFFFFFu));
  char c;
  ASSERT_EQ(1u, file.Read(&c, 1));
  EXPECT_EQ('4', c) << "a refused seek must not move the position";
}

TEST_F(SequentialFileTest, NotOpenObjectReportsFailureEverywhere) {
  SequentialFile file;
  char buffer[4];
  EXPECT_EQ(0u, file.Read(buffer, 4));
  EXPECT_EQ(0u, file.Write("abcd", 4));
  EXPECT_EQ(0xFFFFFFFFu, file.GetSize());
  EXPECT_EQ(-1, file.Close());
}

TEST_F(SequentialFileTest, CloseTwiceClosesOnce) {
  SequentialFile file;
  ASSERT_EQ(1, file.OpenWrite(existing.c_str()));
  EXPECT_NE(0, file.Close());
  EXPECT_EQ(-1, file.Close());
  // After the explicit close the file is free for an exclusive open.
  SequentialFile other;
  EXPECT_EQ(1, other.OpenWrite(existing.c_str()));
}

TEST_F(SequentialFileTest, DestructionReleasesTheHandle) {
  {
    SequentialFile file;
    ASSERT_EQ(1, file.OpenWrite(existing.c_str()));
  }
  SequentialFile other;
  EXPECT_EQ(1, other.OpenWrite(existing.c_str()));
}

TEST_F(SequentialFileTest, GetSizeGivesTheLow32BitsOfLargeFiles) {
  std::string big = dir.Path("big");
  ASSERT_EQ(0, truncate((WriteText(big, ""), big.c_str()), 0x10000000AULL));
  SequentialFile file;
  ASSERT_EQ(1, file.OpenRead(big.c_str()));
  EXPECT_EQ(10u, file.GetSize());
}

}  // namespace
