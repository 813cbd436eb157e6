// The one platform API of the updater: the Windows API on Windows, and our
// own POSIX layer with the same names, types and semantics elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/posix/windows_api.h"
#endif
