// The update itself: every package entry into the install folder, then the
// uninstall list.
#pragma once

#include <stdint.h>

// Installs the package in the running executable's own file. Returns the
// status code (package/status.h).
uint32_t InstallPackage(const char* installFolder);

// The same for the updater file at packagePath.
uint32_t InstallPackageFrom(const char* packagePath, const char* installFolder);
