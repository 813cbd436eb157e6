#include "package/names.h"

#include "platform/shift_jis.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and spaces from a component, so any component
// of dots and spaces with two dots or more may name the parent folder.
bool IsDotsComponent(const char* start, const char* end) {
  int dots = 0;
  for (const char* p = start; p < end; ++p) {
    if (*p == '.') ++dots;
    else if (*p != ' ') return false;
  }
  return dots >= 2;
}

}  // namespace

void FoldAsciiCase(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + 0x20);
  }
}

int IsSafeEntryName(const char* name) {
  if (IsSeparator(name[0])) return 0;
  const char* component = name;
  const char* p = name;
  for (;;) {
    unsigned char byte = static_cast<unsigned char>(*p);
    if (byte == ':') return 0;
    if (byte == '\0' || IsSeparator(*p)) {
      if (IsDotsComponent(component, p)) return 0;
      if (byte == '\0') return 1;
      component = ++p;
      continue;
    }
    p += ShiftJisCharLength(p);
  }
}
