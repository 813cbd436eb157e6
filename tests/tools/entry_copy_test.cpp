#include "tools/packwriter/entry_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <stdexcept>

#include "support/test_files.h"

namespace {

using packwriter::CopyFileInto;
using packwriter::OutputChecksums;

// Bytes that differ from piece to piece, so that a piece out of place shows.
Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 4093);
  return bytes;
}

class EntryCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fd = open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
  }
  void TearDown() override { close(fd); }

  TempDir dir;
  std::string out = dir.Path("out.bin");
  int fd = -1;
};

// Several kernel copy pieces and a tail, at an offset inside the output, and
// each entry's checksum fed in pieces that do not line up with any boundary.
TEST_F(EntryCopyTest, CopiesAtThePositionAndSumsWhatLanded) {
  const uint64_t position = 70001;
  Bytes source = Pattern((9 << 20) + 5);
  WriteBytes(dir.Path("source.bin"), source);

  uint64_t copied = 0;
  OutputChecksums checksums(fd, out, 2);
  CopyFileInto(dir.Path("source.bin"), source.size(), fd, position, out, [&](uint64_t bytes) {
    checksums.Add(1, position + copied, bytes);
    copied += bytes;
  });
  std::vector<PackageChecksum> sums = checksums.Finish();

  EXPECT_EQ(source.size(), copied);
  Bytes file = ReadBytes(out);
  ASSERT_EQ(position + source.size(), file.size());
  EXPECT_EQ(0, memcmp(&file[position], source.data(), source.size()));
  PackageChecksum expected = {0, 0, 0, 0, 0};
  AddToChecksumReference(&expected, source.data(), static_cast<uint32_t>(source.size()));
  EXPECT_EQ(0, memcmp(&expected, &sums[1], sizeof expected));
  PackageChecksum none = {0, 0, 0, 0, 0};
  EXPECT_EQ(0, memcmp(&none, &sums[0], sizeof none)) << "an entry without regions keeps the empty sum";
}

// A file whose size is not the planned one changed after it was planned: the
// package would not match its table.
TEST_F(EntryCopyTest, RefusesAFileOfAnotherSizeThanPlanned) {
  WriteBytes(dir.Path("source.bin"), Pattern(1000));
  for (uint64_t planned : {999u, 1001u}) {
    try {
      CopyFileInto(dir.Path("source.bin"), planned, fd, 0, out, [](uint64_t) {});
      ADD_FAILURE() << "planned " << planned << " was accepted";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(nullptr, strstr(error.what(), "changed size")) << error.what();
    }
  }
}

TEST_F(EntryCopyTest, ReportsARegionThatCannotBeReadBack) {
  OutputChecksums checksums(fd, out, 1);
  checksums.Add(0, 0, 10);  // the output is still empty
  EXPECT_THROW(checksums.Finish(), std::runtime_error);
}

}  // namespace
