#include "text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

std::optional<std::string> Convert(const char* to, const char* from, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::vector<char> out(text.size() * 4 + 4);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  return std::string(out.data(), static_cast<size_t>(outPtr - out.data()));
}

}  // namespace

std::optional<std::string> ShiftJisToUtf8(const std::string& text) {
  return Convert("UTF-8", "CP932", text);
}

std::optional<std::string> Utf8ToShiftJis(const std::string& text) {
  return Convert("CP932", "UTF-8", text);
}
