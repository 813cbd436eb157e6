// Named mutexes of the POSIX layer: a name exists while any process holds a
// handle to it, and of simultaneous creators exactly one makes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_files.h"

namespace {

// Each test gets its own lock folder, so parallel tests cannot meet.
class NamedMutex : public ::testing::Test {
 protected:
  NamedMutex() { setenv("QUENLITH_POSIX_MUTEX_DIR", folder_.path().c_str(), 1); }
  ~NamedMutex() override { unsetenv("QUENLITH_POSIX_MUTEX_DIR"); }

  // Creates name and returns the last error right after, closing the handle.
  static DWORD CreateAndClose(const char* name) {
    HANDLE handle = CreateMutexA(nullptr, TRUE, name);
    DWORD error = GetLastError();
    EXPECT_NE(handle, nullptr);
    if (handle != nullptr) CloseHandle(handle);
    return error;
  }

  TempDir folder_;
};

// A child process that creates a mutex, reports the last error, and holds
// the handle until it is killed.
class MutexHolder {
 public:
  explicit MutexHolder(const char* name, int startSignal = -1) {
    int report[2];
    if (pipe(report) != 0) abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(report[0]);
      char go;
      if (startSignal >= 0 && read(startSignal, &go, 1) != 1) _exit(1);
      HANDLE handle = CreateMutexA(nullptr, TRUE, name);
      DWORD error = handle != nullptr ? GetLastError() : 0xFFFFFFFFu;
      if (write(report[1], &error, sizeof error) != sizeof error) _exit(1);
      pause();
      _exit(0);
    }
    close(report[1]);
    report_ = report[0];
  }
  ~MutexHolder() { Stop(); }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

  DWORD LastError() {
    DWORD error = 0xFFFFFFFEu;
    if (read(report_, &error, sizeof error) != sizeof error) ADD_FAILURE() << "no report from the holder";
    return error;
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      close(report_);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  int report_ = -1;
};

TEST_F(NamedMutex, ExistsWhileAnotherProcessHoldsIt) {
  const char name[] = "Ferrowin for QUENLITH is executing.";
  MutexHolder holder(name);
  ASSERT_EQ(holder.LastError(), 0u);
  EXPECT_EQ(CreateAndClose(name), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  holder.Stop();
  EXPECT_EQ(CreateAndClose(name), 0u);
}

TEST_F(NamedMutex, EveryHandleKeepsItInExistence) {
  const char name[] = "Updater for QUENLITH is executing.";
  HANDLE first = CreateMutexA(nullptr, TRUE, name);
  ASSERT_EQ(GetLastError(), 0u);
  HANDLE second = CreateMutexA(nullptr, TRUE, name);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_NE(second, nullptr);
  CloseHandle(first);
  // The opened handle alone still holds the name.
  EXPECT_EQ(CreateAndClose(name), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(second);
  EXPECT_EQ(CreateAndClose(name), 0u);
}

TEST_F(NamedMutex, NamesAreDistinctByEveryByte) {
  HANDLE held = CreateMutexA(nullptr, TRUE, "a/b");
  ASSERT_EQ(GetLastError(), 0u);
  // Names that a careless mapping to file names could merge with "a/b".
  const char* const others[] = {"a%2Fb", "a_b", "A/B", "a/b.", "a\\b", "a/\x83\x5C"};
  for (const char* other : others) {
    SCOPED_TRACE(other);
    EXPECT_EQ(CreateAndClose(other), 0u);
  }
  EXPECT_EQ(CreateAndClose("a/b"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(held);
}

TEST_F(NamedMutex, OfSimultaneousCreatorsExactlyOneMakesIt) {
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<MutexHolder*> holders;
  for (int i = 0; i < 8; ++i) holders.push_back(new MutexHolder("race", start[0]));
  close(start[0]);
  // One write releases all of them at once.
  ASSERT_EQ(write(start[1], "gggggggg", 8), 8);
  close(start[1]);
  int made = 0;
  int opened = 0;
  for (MutexHolder* holder : holders) {
    DWORD error = holder->LastError();
    made += error == 0;
    opened += error == static_cast<DWORD>(ERROR_ALREADY_EXISTS);
  }
  EXPECT_EQ(made, 1);
  EXPECT_EQ(opened, 7);
  for (MutexHolder* holder : holders) delete holder;
}

TEST_F(NamedMutex, CreationFailureLeavesANonzeroError) {
  setenv("QUENLITH_POSIX_MUTEX_DIR", folder_.Path("missing").c_str(), 1);
  HANDLE handle = CreateMutexA(nullptr, TRUE, "x");
  EXPECT_EQ(handle, nullptr);
  EXPECT_NE(GetLastError(), 0u);
}

}  // namespace
