// Entry names: ASCII case folding for comparisons, and the safety test that
// keeps every written file inside the install folder.
#pragma once

#include <stddef.h>

// Lowers 'A'..'Z' in place, byte by byte, up to the first NUL. Double-byte
// characters are not recognised, so a trail byte in 'A'..'Z' is folded too;
// both sides of every comparison are folded the same way.
void FoldAsciiCase(char* text);

// 1 when the name cannot leave the folder it is joined to: it does not begin
// with '\' or '/', holds no ':', and has no component of dots alone (such as
// "..", which Windows also reaches as "..." or ".. "). Components are split at
// '\' and '/', except a Shift_JIS trail byte 0x5C, which is part of a character.
int IsSafeEntryName(const char* name);
