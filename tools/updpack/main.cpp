// updpack: the publisher's tool for updater files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"

namespace {

const char kExitStatuses[] =
    "Exit status: 0 success; 1 refused, damaged, or the updater would not install every entry; "
    "2 bad command line.";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"updpack: build, check and open updater files (updater.exe with its package)"};
  app.set_version_flag("--version", "updpack 1.0");
  app.require_subcommand(1);
  app.footer(kExitStatuses);

  CreateArguments createArguments;
  bool noVerificationList = false;
  CLI::App* create = app.add_subcommand("create", "Write an updater file: the stub, then a package of the inputs");
  create->add_option("-o,--output", createArguments.output, "Updater file to write (replaced only when complete)")
      ->required();
  create->add_option("--stub", createArguments.stub,
                     "Updater image, at most 65536 bytes (default: ../windows/updater.exe from the tool's folder, "
                     "then updater.exe beside the tool)");
  create->add_flag("--no-verify", noVerificationList, "Leave out the verification list fwn.hvl");
  create->add_flag("-q,--quiet", createArguments.quiet, "No progress bar and no summary");
  create->add_option("INPUT", createArguments.inputs, "Files and folders, packed in the order given")->required();
  create->footer(
      "A folder contributes the regular files directly inside it, sorted bytewise by name; subfolders are not "
      "entered. Names are stored in Shift_JIS (code page 932), at most 15 bytes; at most 23 files besides the "
      "verification list. The output name should contain \"update\", \"setup\", \"install\" or \"patch\": Windows "
      "elevates an executable without a manifest only then.\n" +
      std::string(kExitStatuses));

  std::string listPath;
  CLI::App* list = app.add_subcommand("list", "List the entries of an updater file");
  list->add_option("FILE", listPath, "Updater file")->required();
  list->footer(kExitStatuses);

  std::string verifyPath;
  CLI::App* verify =
      app.add_subcommand("verify", "Check every entry as the updater would: Verified, NotListed, Mismatch, Unreadable");
  verify->add_option("FILE", verifyPath, "Updater file")->required();
  verify->footer("Exit status: 0 when the updater would install every entry (a missing verification list or an "
                 "unlisted entry is only a warning); 1 otherwise; 2 bad command line.");

  std::string extractPath, extractDir;
  CLI::App* extract = app.add_subcommand("extract", "Write each entry into a folder under its name in UTF-8");
  extract->add_option("FILE", extractPath, "Updater file")->required();
  extract->add_option("DIR", extractDir, "Folder to write into (created when missing)")->required();
  extract->footer(
      "A '\\' or '/' in an entry name makes a subfolder of DIR, as the updater writes into a subfolder of the "
      "install folder; names with empty or dots-only parts are refused, and no symbolic link is followed, so "
      "nothing is written outside DIR.\n" +
      std::string(kExitStatuses));

  std::vector<std::string> checksumPaths;
  CLI::App* checksum =
      app.add_subcommand("checksum", "Print the 8-byte package checksum of files, as 16 hex digits and the name");
  checksum->add_option("FILE", checksumPaths, "Files; - reads standard input")->required();
  checksum->footer(kExitStatuses);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }
  try {
    if (create->parsed()) {
      createArguments.verificationList = !noVerificationList;
      return CreateCommand(createArguments);
    }
    if (list->parsed()) return ListCommand(listPath);
    if (verify->parsed()) return VerifyCommand(verifyPath);
    if (extract->parsed()) return ExtractCommand(extractPath, extractDir);
    if (checksum->parsed()) return ChecksumCommand(checksumPaths);
  } catch (const std::exception& error) {
    Complain("", error.what());
    return kExitFailure;
  }
  return kExitUsage;
}
