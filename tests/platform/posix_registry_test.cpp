// The registry of the POSIX layer: the query semantics the updater's lookup
// depends on, and the views of a 64-bit process.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "support/posix_registry.h"

namespace {

const char kKey[] = "HKEY_LOCAL_MACHINE/Software/WOW6432Node/Maker/Game";
const char kSubkey[] = "Software\\Maker\\Game";

TEST(PosixRegistry, QueryReportsSizeTypeAndTooSmallBuffers) {
  RegistryStore store;
  store.SetValue(kKey, "Path", "REG_EXPAND_SZ", Terminated("%ProgramFiles%"));  // 15 bytes
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSubkey, 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);

  DWORD type = REG_NONE;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(type, REG_EXPAND_SZ);

  char data[16];
  memset(data, '#', sizeof data);
  size = 14;
  type = REG_NONE;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(type, REG_EXPAND_SZ);

  size = 15;
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 15u);
  EXPECT_STREQ(data, "%ProgramFiles%");
  EXPECT_EQ(data[15], '#');

  EXPECT_EQ(RegQueryValueExA(key, "Other", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(PosixRegistry, SixtyFourBitProcessSeesTheThirtyTwoBitViewOnlyOnRequest) {
  RegistryStore store;
  store.SetValue("HKEY_LOCAL_MACHINE/Software/Maker/Game", "View", "REG_SZ", Terminated("64"));
  store.SetValue(kKey, "View", "REG_SZ", Terminated("32"));
  struct ViewCase {
    REGSAM access;
    const char* expected;
  };
  const bool native64 = sizeof(void*) == 8;
  const ViewCase cases[] = {
      {KEY_READ, native64 ? "64" : "32"},
      {KEY_READ | KEY_WOW64_32KEY, "32"},
      {KEY_READ | KEY_WOW64_64KEY, "64"},
  };
  for (const ViewCase& c : cases) {
    SCOPED_TRACE(c.access);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSubkey, 0, c.access, &key), ERROR_SUCCESS);
    char data[8] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "View", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(data, c.expected);
    RegCloseKey(key);
  }
}

TEST(PosixRegistry, KeysThatCannotBeOpened) {
  RegistryStore store;
  store.CreateKey(kKey);
  const char* const missing[] = {"Software\\Maker\\Other", "Software\\Maker\\\\Game", "Software\\Maker\\..\\Maker",
                                 "Software\\Maker/Game"};
  for (const char* subkey : missing) {
    SCOPED_TRACE(subkey);
    HKEY key = reinterpret_cast<HKEY>(&store);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
  }

  // A key opened without the right to query values cannot be queried.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSubkey, 0, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST(PosixRegistry, NoStoreMeansNoKeys) {
  unsetenv("QUENLITH_POSIX_REGISTRY");
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
