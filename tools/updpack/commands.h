// The subcommands of updpack. Each returns the process exit status; problems
// are reported as one line on standard error.
#pragma once

#include <string>

// Exit statuses, as the README lists them.
const int kExitOk = 0;
const int kExitFailure = 1;  // the file is damaged, refused or would not install
const int kExitUsage = 2;    // bad command line

int ListCommand(const std::string& path);

// One line on standard error: "updpack: <subject>: <problem>".
void Complain(const std::string& subject, const std::string& problem);

// A name from the package, in UTF-8 for display; bytes that are not Shift_JIS
// are shown as \xNN.
std::string DisplayName(const char* name);
