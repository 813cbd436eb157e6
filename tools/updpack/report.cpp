#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "text.h"

void Complain(const std::string& subject, const std::string& problem) {
  if (subject.empty()) {
    std::fprintf(stderr, "updpack: %s\n", problem.c_str());
  } else {
    std::fprintf(stderr, "updpack: %s: %s\n", subject.c_str(), problem.c_str());
  }
}

void Warn(const std::string& subject, const std::string& problem) {
  std::fprintf(stderr, "updpack: warning: %s: %s\n", subject.c_str(), problem.c_str());
}

std::string DisplayName(const char* name) {
  if (auto utf8 = ShiftJisToUtf8(name)) return *utf8;
  std::string shown;
  for (const char* p = name; *p != '\0'; ++p) {
    unsigned char byte = static_cast<unsigned char>(*p);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += *p;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      shown += hex;
    }
  }
  return shown;
}

std::string DigestHex(const PackageChecksum& state) {
  uint8_t digest[kChecksumSize];
  std::memcpy(digest, &state, sizeof digest);
  std::string hex;
  for (uint8_t byte : digest) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

std::string PadToWidth(const std::string& text, size_t width) {
  // Terminals give CJK characters two columns; every character from U+1100
  // on is counted so, which holds for the names Shift_JIS can carry.
  size_t columns = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (length > text.size() - i) break;
    uint32_t point = lead;
    if (length == 2) point = 0x80;
    if (length == 3) point = (lead & 0x0F) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6;
    if (length == 4) point = 0x10000;
    columns += point >= 0x1100 && !(point >= 0xFF61 && point <= 0xFF9F) ? 2 : 1;
    i += length;
  }
  return columns >= width ? text : text + std::string(width - columns, ' ');
}
