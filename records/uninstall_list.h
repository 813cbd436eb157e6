// The game's uninstall list, uninst.lst in the install folder: a text of
// lines ended by one NUL byte, the file's last byte.
#pragma once

// Appends each name that the list's text does not yet contain (as a
// substring, case-sensitive) as "name\n", and puts the new list in place.
// writtenNames ends with a null pointer. Returns 1 when the list was
// rewritten in full, 0 otherwise; on 0 the list keeps its former content.
int UpdateUninstallList(const char* installFolder, const char* const* writtenNames);
