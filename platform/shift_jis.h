// Shift_JIS (code page 932) byte classes, for walking ANSI paths character
// by character: a trail byte may be 0x5C, which is then no backslash.
#pragma once

inline bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// '\' can be a trail byte; '/', ':' and '.' cannot.
inline bool IsShiftJisTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// The length of the character at text: 2 for a lead byte with its trail byte, else 1.
inline int ShiftJisCharLength(const char* text) {
  return IsShiftJisLeadByte(static_cast<unsigned char>(text[0])) &&
                 IsShiftJisTrailByte(static_cast<unsigned char>(text[1]))
             ? 2
             : 1;
}
