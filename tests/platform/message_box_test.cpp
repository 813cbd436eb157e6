// Message boxes of the POSIX layer: one line on standard error, and the
// answer to a Yes/No box from one line of standard input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"

namespace {

// Runs one box with input as standard input; returns its result and what
// it wrote to standard error.
int RunBox(const std::string& input, UINT type, std::string* shown, std::string* left = nullptr) {
  int feed[2];
  if (pipe(feed) != 0) abort();
  if (write(feed[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) abort();
  close(feed[1]);
  int savedInput = dup(0);
  dup2(feed[0], 0);
  close(feed[0]);
  testing::internal::CaptureStderr();
  int result = MessageBoxA(nullptr, "Go?", "Caption", type);
  *shown = testing::internal::GetCapturedStderr();
  if (left != nullptr) {
    char rest[64];
    ssize_t got = read(0, rest, sizeof rest);
    left->assign(rest, got > 0 ? static_cast<size_t>(got) : 0);
  }
  dup2(savedInput, 0);
  close(savedInput);
  return result;
}

TEST(PosixMessageBox, YesNoAnswers) {
  const UINT confirm = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
  struct AnswerCase {
    const char* input;
    UINT type;
    int expected;
  };
  const AnswerCase cases[] = {
      {"y\n", confirm, IDYES},         {"YES\r\n", confirm, IDYES},       {"yes", confirm, IDYES},
      {"n\n", confirm, IDNO},          {"maybe\n", confirm, IDNO},        {"yess\n", confirm, IDNO},
      {"", confirm, IDNO},             {"\n", confirm, IDNO},             {"\n", MB_YESNO | MB_ICONQUESTION, IDYES},
      {"no\ny\n", confirm, IDNO},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.input);
    std::string shown;
    EXPECT_EQ(RunBox(c.input, c.type, &shown), c.expected);
  }
}

TEST(PosixMessageBox, OneLinePerBoxAndOnlyOneAnswerLineRead) {
  std::string shown;
  std::string left;
  EXPECT_EQ(RunBox("y\nnext\n", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, &shown, &left), IDYES);
  EXPECT_EQ(shown, "Caption [question] Go? [y/N]\n");
  EXPECT_EQ(left, "next\n");

  EXPECT_EQ(RunBox("y\n", MB_OK | MB_ICONWARNING, &shown, &left), IDOK);
  EXPECT_EQ(shown, "Caption [warning] Go?\n");
  EXPECT_EQ(left, "y\n");
}

TEST(PosixMessageBox, ShiftJisIsShownAsUtf8) {
  testing::internal::CaptureStderr();
  // "表示" (its first trail byte is '\'), then a byte that is no character.
  MessageBoxA(nullptr, "\x95\x5C\x8E\xA6 \xA0!", "\x81\x75Q\x81\x76", MB_OK | MB_ICONINFORMATION);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), u8"「Q」 [information] 表示 ?!\n");
}

}  // namespace
