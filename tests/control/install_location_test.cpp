#include "control/install_location.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/posix_registry.h"

namespace {

struct LookupCase {
  const char* label;
  std::string keyPath;  // empty: nothing stored
  std::string valueName;
  std::string typeName;
  Bytes data;
  const char* brand;
  const char* title;
  int expected;
  std::string expectedFolder;  // checked when expected is 1
};

std::vector<LookupCase> LookupCases() {
  const std::string longest(259, 'p');
  const std::string folder = "C:\\Games\\Quenlith";
  const Bytes unterminated(folder.begin(), folder.end());
  const std::string sixtyFourBitKey = "HKEY_LOCAL_MACHINE/Software/Ormica/Quenlith";
  return {
      {"plain folder", kGameKey, "InstalledFolder", "REG_SZ", Terminated(folder), "Ormica", "Quenlith", 1, folder},
      {"260 bytes with the NUL", kGameKey, "InstalledFolder", "REG_SZ", Terminated(longest), "Ormica", "Quenlith",
       1, longest},
      {"261 bytes", kGameKey, "InstalledFolder", "REG_SZ", Terminated(longest + "q"), "Ormica", "Quenlith", 0, ""},
      {"REG_EXPAND_SZ", kGameKey, "InstalledFolder", "REG_EXPAND_SZ", Terminated(folder), "Ormica", "Quenlith", 0,
       ""},
      {"empty string", kGameKey, "InstalledFolder", "REG_SZ", Terminated(""), "Ormica", "Quenlith", 1, ""},
      {"trailing backslash kept", kGameKey, "InstalledFolder", "REG_SZ", Terminated(folder + "\\"), "Ormica",
       "Quenlith", 1, folder + "\\"},
      {"Shift_JIS folder", kGameKey, "InstalledFolder", "REG_SZ", Terminated("D:\\\x83\x5C\x83\x74\x83\x67"),
       "Ormica", "Quenlith", 1, "D:\\\x83\x5C\x83\x74\x83\x67"},
      {"names in another letter case", "HKEY_LOCAL_MACHINE/SOFTWARE/wow6432node/ORMICA/quenlith",
       "installedfolder", "REG_SZ", Terminated(folder), "Ormica", "Quenlith", 1, folder},
      {"missing key", "", "", "", {}, "Ormica", "Quenlith", 0, ""},
      {"missing value", kGameKey, "InstallFolder", "REG_SZ", Terminated(folder), "Ormica", "Quenlith", 0, ""},
      {"another brand", kGameKey, "InstalledFolder", "REG_SZ", Terminated(folder), "Kalmia", "Quenlith", 0, ""},
      {"another title", kGameKey, "InstalledFolder", "REG_SZ", Terminated(folder), "Ormica", "Quenlith2", 0, ""},
      {"only in the 64-bit view", sixtyFourBitKey, "InstalledFolder", "REG_SZ", Terminated(folder), "Ormica",
       "Quenlith", 0, ""},
      {"null brand", kGameKey, "InstalledFolder", "REG_SZ", Terminated(folder), nullptr, "Quenlith", 0, ""},
      {"null title", kGameKey, "InstalledFolder", "REG_SZ", Terminated(folder), "Ormica", nullptr, 0, ""},
      {"zero bytes", kGameKey, "InstalledFolder", "REG_SZ", {}, "Ormica", "Quenlith", 0, ""},
      {"no NUL in the data", kGameKey, "InstalledFolder", "REG_SZ", unterminated, "Ormica", "Quenlith", 0, ""},
  };
}

TEST(ReadInstalledFolder, TableOverTheRegistryStore) {
  for (const LookupCase& c : LookupCases()) {
    SCOPED_TRACE(c.label);
    RegistryStore store;
    if (!c.keyPath.empty()) store.SetValue(c.keyPath, c.valueName, c.typeName, c.data);
    // No NUL anywhere, as in the caller's uncleared buffer: a result that
    // relied on one being there would run past the data.
    char folder[MAX_PATH];
    memset(folder, 'x', sizeof folder);
    int result = ReadInstalledFolder(folder, c.brand, c.title);
    EXPECT_EQ(result, c.expected);
    if (result == 1 && c.expected == 1) {
      ASSERT_NE(memchr(folder, '\0', sizeof folder), nullptr);
      EXPECT_EQ(std::string(folder), c.expectedFolder);
    }
  }
}

// The subkey is formed in a 4096-byte buffer: a title that cannot fit is
// refused, without writing past the buffer.
TEST(ReadInstalledFolder, SubkeyThatDoesNotFitIsRefused) {
  RegistryStore store;
  store.SetValue(kGameKey, "InstalledFolder", "REG_SZ", Terminated("C:\\Games"));
  char folder[MAX_PATH];
  const std::string title(4096 - strlen("Software\\Ormica\\"), 'q');
  EXPECT_EQ(ReadInstalledFolder(folder, "Ormica", title.c_str()), 0);
  EXPECT_EQ(ReadInstalledFolder(folder, "Ormica", "Quenlith"), 1);
}

}  // namespace
