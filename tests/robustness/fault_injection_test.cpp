// The installation with the platform failing in the middle of real work: a
// write that stops partway, a package file cut short at every interesting
// point, an entry buffer that cannot be had. The updater must report the
// failure, keep what was written before it, and never lose the uninstall list.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "package/install.h"
#include "package/status.h"
#include "support/test_files.h"
#include "tools/packwriter/package_writer.h"

#if defined(__SANITIZE_ADDRESS__)
#define UPDATER_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UPDATER_TEST_ASAN 1
#endif
#endif

namespace {

using packwriter::InputEntry;
using packwriter::WrittenEntry;

const size_t kHeaderAndTable = 65536 + 16;

InputEntry Entry(const std::string& name, size_t size, char fill) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(fill + i % 7);
  return InputEntry{name, "", bytes};
}

std::string ReadText(const std::string& path) {
  Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

Bytes ListOfSize(size_t size) {
  Bytes bytes(size, 'x');
  for (size_t i = 63; i + 1 < size; i += 64) bytes[i] = '\n';
  bytes[size - 1] = 0;
  return bytes;
}

// What a child process reports: its installation status, or how it died.
struct ChildOutcome {
  bool reported = false;
  uint32_t status = 0;
  std::string death;
};

// Runs the installation in a forked child, after limits meant for the
// child alone have been set there.
ChildOutcome InstallInChild(const std::function<bool()>& limit, const std::string& package,
                            const std::string& folder) {
  int channel[2];
  EXPECT_EQ(0, pipe(channel));
  pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    if (!limit()) _exit(99);
    uint32_t status = InstallPackageFrom(package.c_str(), folder.c_str());
    _exit(write(channel[1], &status, sizeof status) == sizeof status ? 0 : 98);
  }
  close(channel[1]);
  ChildOutcome outcome;
  outcome.reported = read(channel[0], &outcome.status, sizeof outcome.status) == sizeof outcome.status;
  close(channel[0]);
  int wait = 0;
  waitpid(child, &wait, 0);
  if (WIFSIGNALED(wait)) outcome.death = "signal " + std::to_string(WTERMSIG(wait));
  else if (WEXITSTATUS(wait) != 0) outcome.death = "exit " + std::to_string(WEXITSTATUS(wait));
  return outcome;
}

class FaultTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string package = dir.Path("Update.exe");
  std::string folder = dir.Path("game");
  std::vector<InputEntry> inputs;
  std::vector<WrittenEntry> table;

  void SetUp() override { ASSERT_EQ(0, mkdir(folder.c_str(), 0755)); }

  std::string Target(const std::string& name) const { return folder + "/" + name; }

  void Pack(const std::vector<InputEntry>& entries, bool withList = true) {
    inputs = entries;
    packwriter::WriteOptions options;
    options.verificationList = withList;
    table = packwriter::WriteUpdater(package, {}, entries, options);
  }

  // The bytes that entry k of the table must leave on disk.
  Bytes Content(size_t k) const {
    Bytes file = ReadBytes(package);
    size_t start = kHeaderAndTable + 32 * table.size() + table[k].offset;
    return Bytes(file.begin() + static_cast<long>(start),
                 file.begin() + static_cast<long>(start + table[k].size));
  }

  // Entries 0 to written - 1 hold their bytes.
  void ExpectWrittenUpTo(size_t written) const {
    for (size_t k = 0; k < written; ++k) {
      const std::string& name = table[k].name;
      ASSERT_TRUE(FileExists(Target(name))) << name;
      EXPECT_EQ(Content(k), ReadBytes(Target(name))) << name;
    }
  }
};

// A write that the file size limit stops partway; SIGXFSZ is ignored, so
// the write call returns short instead of killing the process.
struct PartialWriteCase {
  const char* name;
  size_t listSize;
  rlim_t limit;
  uint32_t status;
  size_t written;  // entries written whole
};

void PrintTo(const PartialWriteCase& c, std::ostream* os) { *os << c.name; }

class PartialWrite : public FaultTest, public ::testing::WithParamInterface<PartialWriteCase> {};

TEST_P(PartialWrite, ReportsItKeepsEarlierFilesAndTheList) {
  const PartialWriteCase& c = GetParam();
  // fwn.hvl, then these; big.dat is the one entry that the limit cuts.
  Pack({Entry("a.dat", 1000, 'a'), Entry("b.dat", 3000, 'b'), Entry("big.dat", 40000, 'c'),
        Entry("z.dat", 10, 'z')});
  if (c.status == kStatusWriteFailed) WriteText(Target("z.dat"), "old z");
  Bytes list = ListOfSize(c.listSize);
  WriteBytes(Target("uninst.lst"), list);

  ChildOutcome outcome = InstallInChild(
      [&c] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {c.limit, c.limit};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
      },
      package, folder);

  ASSERT_TRUE(outcome.reported) << outcome.death;
  EXPECT_EQ(c.status, outcome.status) << std::hex << outcome.status;
  ExpectWrittenUpTo(c.written);
  if (c.status == kStatusWriteFailed) {
    EXPECT_EQ("old z", ReadText(Target("z.dat"))) << "entries after the failure stay untouched";
  }
  EXPECT_EQ(list, ReadBytes(Target("uninst.lst"))) << "the uninstall list must stay byte for byte";
  EXPECT_FALSE(FileExists(Target("uninst.lst.new")));
}

INSTANTIATE_TEST_SUITE_P(Cases, PartialWrite,
                         ::testing::Values(
                             // 16 KiB: every entry fits but big.dat (40000 bytes).
                             PartialWriteCase{"EntryWrite", 200, 16384, kStatusWriteFailed, 3},
                             // 48 KiB: every entry fits, the 64 KiB new list does not.
                             PartialWriteCase{"UninstallListWrite", 65536, 49152,
                                              kStatusUninstallListFailed, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

// The updater file cut at every point of the header and the table, of the
// verification list, and at the start, middle and end of each entry: never
// success, the entries wholly before the cut written, the list untouched.
TEST_F(FaultTest, PackageCutShortAnywhereIsUnreadable) {
  Pack({Entry("one.dat", 300, '1'), Entry("two.dat", 1, '2'), Entry("three.dat", 5000, '3')});
  Bytes whole = ReadBytes(package);
  size_t base = kHeaderAndTable + 32 * table.size();
  auto start = [&](size_t k) { return base + table[k].offset; };
  auto end = [&](size_t k) { return start(k) + table[k].size; };

  std::set<size_t> cuts = {0, 1, 65535};
  for (size_t cut = 65536; cut <= base; ++cut) cuts.insert(cut);
  for (size_t cut = start(0); cut <= end(0); ++cut) cuts.insert(cut);  // the verification list
  for (size_t k = 1; k < table.size(); ++k) {
    for (size_t cut : {start(k), start(k) + 1, (start(k) + end(k)) / 2, end(k) - 1, end(k)}) {
      cuts.insert(cut);
    }
  }
  Bytes list = ListOfSize(100);
  for (size_t cut : cuts) {
    ASSERT_LE(cut, whole.size());
    SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(whole.size()));
    WriteBytes(package, Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
    folder = dir.Path("game" + std::to_string(cut));
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    WriteBytes(Target("uninst.lst"), list);

    size_t wholeEntries = 0;
    while (wholeEntries < table.size() && cut >= base && end(wholeEntries) <= cut) ++wholeEntries;
    uint32_t expected = wholeEntries == table.size() ? kStatusSuccess : kStatusUnreadable;

    ASSERT_EQ(expected, InstallPackageFrom(package.c_str(), folder.c_str()));
    WriteBytes(package, whole);  // for Content()
    ExpectWrittenUpTo(wholeEntries);
    for (size_t k = wholeEntries; k < table.size(); ++k) {
      EXPECT_FALSE(FileExists(Target(table[k].name)));
    }
    if (wholeEntries < table.size()) {
      EXPECT_EQ(list, ReadBytes(Target("uninst.lst")));
    }
  }
}

// Entries whose data the file cannot hold, however large they claim to be:
// refused at that entry with the earlier ones written.
TEST_F(FaultTest, EntryLargerThanTheFileIsUnreadable) {
  struct Case {
    uint32_t offset, size;
  };
  for (Case c : {Case{0, 0xFFFFFF00u}, Case{0, 0x7FFFFFFFu}, Case{0x7FFEFF00u, 0xFFFFFFF0u}}) {
    SCOPED_TRACE(std::to_string(c.offset) + " + " + std::to_string(c.size));
    Pack({Entry("a.dat", 10, 'a'), Entry("huge.dat", 5, 'h')}, false);
    Bytes file = ReadBytes(package);
    size_t field = kHeaderAndTable + 32 * 1 + 16;
    for (int i = 0; i < 4; ++i) {
      file[field + i] = static_cast<uint8_t>(c.offset >> (8 * i));
      file[field + 4 + i] = static_cast<uint8_t>(c.size >> (8 * i));
    }
    WriteBytes(package, file);
    Bytes list = ListOfSize(100);
    WriteBytes(Target("uninst.lst"), list);
    EXPECT_EQ(kStatusUnreadable, InstallPackageFrom(package.c_str(), folder.c_str()));
    EXPECT_TRUE(FileExists(Target("a.dat")));
    EXPECT_FALSE(FileExists(Target("huge.dat")));
    EXPECT_EQ(list, ReadBytes(Target("uninst.lst")));
  }
}

// An entry whose data the file does hold (a sparse file), but whose block
// the address space limit refuses: unreadable, nothing written for it.
TEST_F(FaultTest, EntryBufferThatCannotBeAllocatedIsUnreadable) {
#ifdef UPDATER_TEST_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space, so RLIMIT_AS cannot "
                  "be used under it; this runs in the plain build";
#endif
  const uint32_t kBigSize = 64u << 20;
  Pack({Entry("a.dat", 10, 'a'), Entry("big.dat", 0, 'b'), Entry("c.dat", 3, 'c')}, false);
  Bytes file = ReadBytes(package);
  size_t sizeField = kHeaderAndTable + 32 * 1 + 20;
  for (int i = 0; i < 4; ++i) file[sizeField + i] = static_cast<uint8_t>(kBigSize >> (8 * i));
  // c.dat's 3 bytes move behind the zero bytes that big.dat now spans.
  size_t offsetField = kHeaderAndTable + 32 * 2 + 16;
  uint32_t cOffset = table[2].offset + kBigSize;
  for (int i = 0; i < 4; ++i) file[offsetField + i] = static_cast<uint8_t>(cOffset >> (8 * i));
  Bytes cBytes(file.end() - 3, file.end());
  file.resize(file.size() - 3);
  WriteBytes(package, file);
  ASSERT_EQ(0, truncate(package.c_str(), static_cast<off_t>(file.size() + kBigSize)));
  FILE* out = fopen(package.c_str(), "ab");
  ASSERT_NE(nullptr, out);
  ASSERT_EQ(3u, fwrite(cBytes.data(), 1, 3, out));
  fclose(out);
  Bytes list = ListOfSize(100);
  WriteBytes(Target("uninst.lst"), list);

  // The address space in use now, plus half of what the entry needs.
  auto limitAddressSpace = [] {
    FILE* statm = fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (statm == nullptr || fscanf(statm, "%lu", &pages) != 1) return false;
    fclose(statm);
    rlim_t bytes = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (32u << 20);
    struct rlimit limit = {bytes, bytes};
    return setrlimit(RLIMIT_AS, &limit) == 0;
  };
  ChildOutcome limited = InstallInChild(limitAddressSpace, package, folder);
  ASSERT_TRUE(limited.reported) << limited.death;
  EXPECT_EQ(kStatusUnreadable, limited.status) << std::hex << limited.status;
  EXPECT_EQ(Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'a', 'b', 'c'}), ReadBytes(Target("a.dat")));
  EXPECT_FALSE(FileExists(Target("big.dat")));
  EXPECT_FALSE(FileExists(Target("c.dat")));
  EXPECT_EQ(list, ReadBytes(Target("uninst.lst")));

  // The same package without the limit installs whole: the block was the
  // only thing missing.
  ChildOutcome free = InstallInChild([] { return true; }, package, folder);
  ASSERT_TRUE(free.reported) << free.death;
  EXPECT_EQ(kStatusSuccess, free.status) << std::hex << free.status;
  struct stat info;
  ASSERT_EQ(0, stat(Target("big.dat").c_str(), &info));
  EXPECT_EQ(static_cast<off_t>(kBigSize), info.st_size);
  EXPECT_EQ(cBytes, ReadBytes(Target("c.dat")));
}

}  // namespace
