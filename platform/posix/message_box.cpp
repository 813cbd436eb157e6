// Message boxes over a terminal: the box becomes one line on standard error,
// and a Yes/No box reads its answer as one line from standard input.
//
//   <caption> [<icon>] <text>            MB_OK, result IDOK
//   <caption> [<icon>] <text> [y/N]      MB_YESNO, No the default button
//
// Texts are Shift_JIS, as on a Japanese Windows, and are shown in UTF-8. An
// answer of "y" or "yes" (any letter case) is IDYES, "n" or "no" is IDNO, an
// empty line picks the default button (Enter on a real box), and anything
// else or the end of input is IDNO.
#include <errno.h>
#include <iconv.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include "platform/posix/windows_api.h"

namespace {

const UINT kButtonMask = 0x0000000Fu;
const UINT kIconMask = 0x000000F0u;
const UINT kDefaultButtonMask = 0x00000F00u;
const size_t kAnswerCapacity = 16;

const char* IconName(UINT type) {
  switch (type & kIconMask) {
    case MB_ICONERROR: return "error";
    case MB_ICONQUESTION: return "question";
    case MB_ICONWARNING: return "warning";
    case MB_ICONINFORMATION: return "information";
    default: return "message";
  }
}

// Appends text converted from Shift_JIS; a byte that does not convert is
// shown as '?', so the line is always written.
void AppendUtf8(iconv_t converter, const char* text, char** out, size_t* room) {
  bool canConvert = converter != reinterpret_cast<iconv_t>(-1);
  char* in = const_cast<char*>(text);
  size_t left = strlen(text);
  while (left > 0 && *room > 1) {
    if (canConvert) {
      if (iconv(converter, &in, &left, out, room) != static_cast<size_t>(-1) || errno == E2BIG) break;
      if (left == 0) break;
    }
    unsigned char byte = static_cast<unsigned char>(*in);
    **out = !canConvert && byte < 0x80 ? static_cast<char>(byte) : '?';
    ++*out;
    --*room;
    ++in;
    --left;
  }
}

void AppendText(const char* text, char** out, size_t* room) {
  size_t length = strlen(text);
  if (length >= *room) length = *room - 1;
  memcpy(*out, text, length);
  *out += length;
  *room -= length;
}

void WriteAll(int fd, const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t put = write(fd, bytes, length);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    bytes += put;
    length -= static_cast<size_t>(put);
  }
}

// Reads one line byte by byte, so that nothing after it is taken from the
// input. Returns 0 at the end of input before any byte; keeps the first
// bytes of a long line.
int ReadAnswer(char* answer, size_t capacity) {
  size_t length = 0;
  bool any = false;
  for (;;) {
    char byte;
    ssize_t got = read(0, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    any = true;
    if (byte == '\n') break;
    if (length + 1 < capacity) answer[length++] = byte;
  }
  while (length > 0 && (answer[length - 1] == '\r' || answer[length - 1] == ' ')) --length;
  answer[length] = '\0';
  return any ? 1 : 0;
}

int AskYesNo(UINT type) {
  char answer[kAnswerCapacity];
  if (!ReadAnswer(answer, sizeof answer)) return IDNO;
  if (answer[0] == '\0') return (type & kDefaultButtonMask) == 0 ? IDYES : IDNO;
  if (strcasecmp(answer, "y") == 0 || strcasecmp(answer, "yes") == 0) return IDYES;
  return IDNO;
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  UINT buttons = type & kButtonMask;
  if (buttons != MB_OK && buttons != MB_YESNO) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";

  // A Shift_JIS byte becomes at most three bytes of UTF-8.
  size_t capacity = 3 * (strlen(text) + strlen(caption)) + 64;
  char* line = static_cast<char*>(malloc(capacity));
  if (line == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  iconv_t converter = iconv_open("UTF-8", "CP932");
  char* out = line;
  size_t room = capacity;
  AppendUtf8(converter, caption, &out, &room);
  AppendText(" [", &out, &room);
  AppendText(IconName(type), &out, &room);
  AppendText("] ", &out, &room);
  AppendUtf8(converter, text, &out, &room);
  if (buttons == MB_YESNO) AppendText((type & kDefaultButtonMask) == 0 ? " [Y/n]" : " [y/N]", &out, &room);
  AppendText("\n", &out, &room);
  if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  WriteAll(2, line, static_cast<size_t>(out - line));
  free(line);

  return buttons == MB_YESNO ? AskYesNo(type) : IDOK;
}
