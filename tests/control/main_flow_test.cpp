// The main flow end to end after a Yes: the native updater (beside this test
// binary) runs on updater files made by the package writer, whole or damaged,
// and each outcome shows its box and leaves its status code as exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "package/package_format.h"
#include "support/posix_registry.h"
#include "support/test_files.h"
#include "tools/packwriter/package_writer.h"

namespace {

const std::string kCaption = u8"「Quenlith」 Updater ver 1.00";
const std::string kConfirm = kCaption + u8" [question] アップデートを行いますか？　　　　　　　　　　　　　 [y/N]\n";
const std::string kCompleted = kCaption + u8" [information] アップデートが完了しました　　　　　　　　　　　　　\n";
const std::string kDamaged = kCaption + u8" [warning] アップデートプログラムが破損している可能性があります\n";
const std::string kCannotUpdate = kCaption + u8" [warning] 何らかの要因によりアップデートが行えません　　　　　\n";
const std::string kListFailed = kCaption + u8" [warning] アンインストレーションファイルの更新に失敗しました　\n";

// "データ.dat" in Shift_JIS.
const std::string kJapaneseName = "\x83\x66\x81\x5B\x83\x5E.dat";

std::string UpdaterPath() {
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "updater";
  std::string path(self, static_cast<size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "updater";
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

packwriter::InputEntry Entry(const std::string& name, const std::string& content) {
  return {name, "", std::vector<uint8_t>(content.begin(), content.end())};
}

// One game installation, its registry value, and one updater file.
class Scene {
 public:
  Scene() {
    mkdir(game.c_str(), 0755);
    WriteBytes(Target("uninst.lst"), {0});
    store.SetValue(kGameKey, "InstalledFolder", "REG_SZ", Terminated(game));
    setenv("QUENLITH_POSIX_MUTEX_DIR", dir.path().c_str(), 1);
    setenv("QUENLITH_POSIX_MODULE_PATH", package.c_str(), 1);
    table = packwriter::WriteUpdater(package, {}, {Entry("a.txt", "alpha"), Entry(kJapaneseName, "beta")});
  }
  ~Scene() {
    unsetenv("QUENLITH_POSIX_MUTEX_DIR");
    unsetenv("QUENLITH_POSIX_MODULE_PATH");
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  std::string Target(const std::string& name) const { return game + "/" + name; }

  // Overwrites bytes of the updater file at position.
  void Patch(size_t position, const Bytes& bytes) {
    Bytes file = ReadBytes(package);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(position));
    WriteBytes(package, file);
  }
  size_t DataPosition(size_t k) const { return DataAreaBase(static_cast<uint32_t>(table.size())) + table[k].offset; }

  // Runs the updater with "y" as the answer; returns its exit status and
  // fills shown with what it wrote to standard error.
  int RunConfirmed(std::string* shown) {
    std::string errors = dir.Path("shown");
    std::string answer = dir.Path("answer");
    WriteText(answer, "y\n");
    pid_t child = fork();
    if (child == 0) {
      int in = open(answer.c_str(), O_RDONLY);
      int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || err < 0 || dup2(in, 0) < 0 || dup2(err, 2) < 0) _exit(126);
      std::string updater = UpdaterPath();
      execl(updater.c_str(), updater.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    *shown = Text(ReadBytes(errors));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempDir dir;
  RegistryStore store;
  std::string game = dir.Path("game");
  std::string package = dir.Path("Update.exe");
  std::vector<packwriter::WrittenEntry> table;  // the verification list first
};

struct OutcomeCase {
  const char* label;
  std::function<void(Scene&)> damage;
  uint8_t exitStatus;  // the status code's low 8 bits
  const std::string* outcome;
};

TEST(MainFlow, EachInstallationOutcomeAfterYes) {
  const OutcomeCase cases[] = {
      {"whole package", [](Scene&) {}, 0, &kCompleted},
      {"cut inside the header", [](Scene& s) { truncate(s.package.c_str(), kPackageOffset + 8); }, 1, &kDamaged},
      {"more than 24 entries", [](Scene& s) { s.Patch(kPackageOffset + 12, {25, 0, 0, 0}); }, 2, &kDamaged},
      {"data that differs from its digest", [](Scene& s) { s.Patch(s.DataPosition(1), {'A'}); }, 3, &kDamaged},
      {"install folder missing",
       [](Scene& s) {
         s.store.SetValue(kGameKey, "InstalledFolder", "REG_SZ", Terminated(s.dir.Path("gone")));
       },
       4, &kCannotUpdate},
      {"no uninstall list", [](Scene& s) { unlink(s.Target("uninst.lst").c_str()); }, 5, &kListFailed},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.label);
    Scene scene;
    c.damage(scene);
    std::string shown;
    EXPECT_EQ(scene.RunConfirmed(&shown), c.exitStatus);
    EXPECT_EQ(shown, kConfirm + *c.outcome);
  }
}

TEST(MainFlow, CompletedUpdateIsOnDiskAndInTheUninstallList) {
  Scene scene;
  std::string shown;
  ASSERT_EQ(scene.RunConfirmed(&shown), 0) << shown;
  EXPECT_EQ(Text(ReadBytes(scene.Target("a.txt"))), "alpha");
  EXPECT_EQ(Text(ReadBytes(scene.Target(kJapaneseName))), "beta");
  EXPECT_EQ(Text(ReadBytes(scene.Target("uninst.lst"))), "fwn.hvl\na.txt\n" + kJapaneseName + "\n" + '\0');
}

// A damaged entry stops the run there: what came before stays written, the
// damaged entry and the uninstall list are not touched.
TEST(MainFlow, MismatchStopsAtTheDamagedEntry) {
  Scene scene;
  scene.Patch(scene.DataPosition(2), {'B'});
  std::string shown;
  ASSERT_EQ(scene.RunConfirmed(&shown), 3) << shown;
  EXPECT_EQ(Text(ReadBytes(scene.Target("a.txt"))), "alpha");
  EXPECT_FALSE(FileExists(scene.Target(kJapaneseName)));
  EXPECT_EQ(ReadBytes(scene.Target("uninst.lst")), Bytes{0});
}

}  // namespace
