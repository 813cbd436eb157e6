// The subcommands of updpack. Each returns the process exit status; problems
// are reported as one line on standard error.
#pragma once

#include <string>
#include <vector>

#include "package/checksum.h"

// Exit statuses, as the README lists them.
const int kExitOk = 0;
const int kExitFailure = 1;  // the file is damaged, refused or would not install
const int kExitUsage = 2;    // bad command line

struct CreateArguments {
  std::string output;
  std::string stub;                 // empty: the updater.exe found beside the tool
  bool verificationList = true;
  bool quiet = false;
  std::vector<std::string> inputs;  // files and folders, in the order given
};

int CreateCommand(const CreateArguments& arguments);
int ListCommand(const std::string& path);
int VerifyCommand(const std::string& path);
int ExtractCommand(const std::string& path, const std::string& dir);
int ChecksumCommand(const std::vector<std::string>& paths);

// One line on standard error: "updpack: <subject>: <problem>", or
// "updpack: <problem>" when the subject is empty.
void Complain(const std::string& subject, const std::string& problem);
// One line on standard error: "updpack: warning: <subject>: <problem>".
void Warn(const std::string& subject, const std::string& problem);

// A name from the package, in UTF-8 for display; bytes that are not Shift_JIS
// are shown as \xNN.
std::string DisplayName(const char* name);

// text followed by spaces up to width terminal columns.
std::string PadToWidth(const std::string& text, size_t width);

// The digest as 16 lowercase hex digits, bytes in stored order.
std::string DigestHex(const PackageChecksum& state);
