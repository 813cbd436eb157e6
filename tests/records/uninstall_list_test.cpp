#include "records/uninstall_list.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_files.h"

namespace {

const size_t kListLimit = 1048576;

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The text and its closing NUL, as the list stores them.
Bytes ListOf(const std::string& text) {
  Bytes bytes = AsBytes(text);
  bytes.push_back(0);
  return bytes;
}

// A list of exactly size bytes: lines of 'x' ended by its NUL.
Bytes ListOfSize(size_t size) {
  Bytes bytes(size, 'x');
  for (size_t i = 63; i + 1 < size; i += 64) bytes[i] = '\n';
  bytes[size - 1] = 0;
  return bytes;
}

class UninstallListTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string folder = dir.path();

  std::string ListPath() const { return folder + "/uninst.lst"; }
  std::string NewListPath() const { return folder + "/uninst.lst.new"; }

  int Update(const std::vector<const char*>& names) {
    std::vector<const char*> array(names);
    array.push_back(nullptr);
    return UpdateUninstallList(folder.c_str(), array.data());
  }

  // A folder below the scratch folder whose path is exactly length bytes.
  void UseFolderOfLength(size_t length) {
    std::string path = dir.path();
    while (path.size() < length) {
      size_t part = std::min<size_t>(length - path.size() - 1, 100);
      ASSERT_GT(part, 0u);
      path += "/" + std::string(part, 'd');
      ASSERT_EQ(0, mkdir(path.c_str(), 0755));
    }
    ASSERT_EQ(length, path.size());
    folder = path;
  }
};

struct AppendCase {
  const char* name;
  Bytes before;
  std::vector<const char*> names;
  Bytes after;
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

std::vector<AppendCase> AppendCases() {
  Bytes almostFull = ListOfSize(kListLimit - 6);  // room for "n.dat\n" exactly
  Bytes filled(almostFull.begin(), almostFull.end() - 1);
  for (char c : std::string("n.dat\n")) filled.push_back(static_cast<unsigned char>(c));
  filled.push_back(0);
  return {
      {"AppendsInOrderAfterForeignLines", ListOf("game.exe\r\nsave\\01.dat\r\n"), {"z.pak", "a.pak"},
       ListOf("game.exe\r\nsave\\01.dat\r\nz.pak\na.pak\n")},
      {"NameInsideLongerLineNotAdded", ListOf("oldarc.dat\n"), {"arc.dat"}, ListOf("oldarc.dat\n")},
      {"NameGivenTwiceAddedOnce", ListOf("a.txt\n"), {"b.dat", "b.dat"}, ListOf("a.txt\nb.dat\n")},
      {"SearchIncludesLinesAddedNow", ListOf("a.txt\n"), {"arc01.pak", "arc0"}, ListOf("a.txt\narc01.pak\n")},
      {"LetterCaseMatters", ListOf("Arc.dat\n"), {"arc.dat"}, ListOf("Arc.dat\narc.dat\n")},
      {"ShiftJisNameByteForByte", ListOf("\x83\x41.dat\n"), {"\x83\x61.dat"}, ListOf("\x83\x41.dat\n\x83\x61.dat\n")},
      {"EmptyTextReceivesEveryName", ListOf(""), {"x.dat", "y.dat"}, ListOf("x.dat\ny.dat\n")},
      {"NoNamesRewritesSameBytes", ListOf("a\nb\n"), {}, ListOf("a\nb\n")},
      {"EmptyNameNeverAdded", ListOf("a\n"), {""}, ListOf("a\n")},
      {"GrowsToExactlyTheLimit", almostFull, {"n.dat"}, filled},
  };
}

class UninstallListAppend : public UninstallListTest, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(UninstallListAppend, RewritesListWithMissingNames) {
  const AppendCase& c = GetParam();
  WriteBytes(ListPath(), c.before);
  EXPECT_EQ(1, Update(c.names));
  EXPECT_EQ(c.after, ReadBytes(ListPath()));
  EXPECT_FALSE(FileExists(NewListPath()));
}

INSTANTIATE_TEST_SUITE_P(Cases, UninstallListAppend, ::testing::ValuesIn(AppendCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallListTest, SecondRunKeepsContentButStillRewrites) {
  WriteBytes(ListPath(), ListOf("base.exe\n"));
  ASSERT_EQ(1, Update({"a.pak", "B.pak"}));
  Bytes first = ReadBytes(ListPath());
  struct stat before;
  ASSERT_EQ(0, stat(ListPath().c_str(), &before));

  EXPECT_EQ(1, Update({"a.pak", "B.pak"}));
  EXPECT_EQ(first, ReadBytes(ListPath()));
  struct stat after;
  ASSERT_EQ(0, stat(ListPath().c_str(), &after));
  // Replaced by a new file, which existed beside the old one: another inode.
  EXPECT_NE(before.st_ino, after.st_ino);
}

struct RefusalCase {
  const char* name;
  Bytes list;
  std::vector<const char*> names;
  size_t folderLength;  // 0: the scratch folder itself
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

std::vector<RefusalCase> RefusalCases() {
  Bytes twoNuls = AsBytes(std::string("a\0b\n", 4));
  twoNuls.push_back(0);
  // Folder, backslash, name and NUL must fit 260 bytes: a folder of 244
  // bytes fits both names, 248 still fits "uninst.lst" but not "uninst.lst.new".
  return {
      {"EmptyFile", {}, {"a.dat"}, 0},
      {"LastByteNotNul", AsBytes("a.dat\n"), {"b.dat"}, 0},
      {"NulBeforeLastByte", twoNuls, {"c.dat"}, 0},
      {"LargerThanLimit", ListOfSize(kListLimit + 1), {}, 0},
      {"FullListWouldGrow", ListOfSize(kListLimit), {"n.dat"}, 0},
      {"OneByteTooManyAfterAppend", ListOfSize(kListLimit - 5), {"n.dat"}, 0},
      {"NewListPathTooLong", ListOf("a\n"), {"b.dat"}, 248},
      {"ListPathTooLong", ListOf("a\n"), {"b.dat"}, 249},
  };
}

class UninstallListRefusal : public UninstallListTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(UninstallListRefusal, LeavesListByteForByte) {
  const RefusalCase& c = GetParam();
  if (c.folderLength != 0) UseFolderOfLength(c.folderLength);
  WriteBytes(ListPath(), c.list);
  EXPECT_EQ(0, Update(c.names));
  EXPECT_EQ(c.list, ReadBytes(ListPath()));
  EXPECT_FALSE(FileExists(NewListPath()));
}

INSTANTIATE_TEST_SUITE_P(Cases, UninstallListRefusal, ::testing::ValuesIn(RefusalCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallListTest, FolderOfLongestPathStillWorks) {
  UseFolderOfLength(244);
  WriteBytes(ListPath(), ListOf(""));
  EXPECT_EQ(1, Update({"a.dat"}));
  EXPECT_EQ(ListOf("a.dat\n"), ReadBytes(ListPath()));
}

TEST_F(UninstallListTest, MissingListIsNotCreated) {
  EXPECT_EQ(0, Update({"a.dat"}));
  EXPECT_FALSE(FileExists(ListPath()));
  EXPECT_FALSE(FileExists(NewListPath()));
}

TEST_F(UninstallListTest, ReadOnlyListIsLeftAsItWas) {
  Bytes list = ListOf("a\n");
  WriteBytes(ListPath(), list);
  MakeReadOnly(ListPath());
  EXPECT_EQ(0, Update({"b.dat"}));
  EXPECT_EQ(list, ReadBytes(ListPath()));
  EXPECT_FALSE(IsWritable(ListPath()));
  EXPECT_FALSE(FileExists(NewListPath()));
}

TEST_F(UninstallListTest, ListHeldByAnotherProcessIsLeftAsItWas) {
  struct Holder {
    unsigned access;
    unsigned share;
  };
  // A reader that shares reading lets the list be read but not replaced;
  // a writer lets nobody in.
  for (Holder h : {Holder{GENERIC_READ, FILE_SHARE_READ}, Holder{GENERIC_WRITE, 0}}) {
    SCOPED_TRACE(h.access == GENERIC_READ ? "reader" : "writer");
    Bytes list = ListOf("a\n");
    WriteBytes(ListPath(), list);
    FileHolder holder(ListPath(), h.access, h.share);
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(0, Update({"b.dat"}));
    EXPECT_EQ(list, ReadBytes(ListPath()));
    EXPECT_FALSE(FileExists(NewListPath()));
  }
}

TEST_F(UninstallListTest, WriteFailingPartwayKeepsOldList) {
  Bytes list = ListOfSize(4096);
  WriteBytes(ListPath(), list);
  // The file size limit cuts the new list's write short; it holds for the
  // whole process, so the update runs in a child that reports its result.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1000, 1000};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(99);
    _exit(10 + Update({"new.dat"}));
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(10, WEXITSTATUS(status));
  EXPECT_EQ(list, ReadBytes(ListPath()));
  EXPECT_FALSE(FileExists(NewListPath()));
}

}  // namespace
