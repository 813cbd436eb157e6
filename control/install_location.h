// Where the game is installed, as its installer recorded it in the registry.
#pragma once

// Reads the REG_SZ value "InstalledFolder" of the key
// HKEY_LOCAL_MACHINE\Software\<brand>\<title> (32-bit view) into folder, a
// MAX_PATH buffer. Returns 1 with folder holding a NUL-terminated path of at
// most MAX_PATH - 1 bytes, exactly as stored; 0 when the value is missing, of
// another type, too long, empty of bytes or without a NUL, or when brand or
// title is null. After 0 the buffer's content is undefined.
int ReadInstalledFolder(char* folder, const char* brand, const char* title);
