// updpack: the publisher's tool for updater files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{"updpack: build, check and open updater files"};
  app.set_version_flag("--version", "updpack 1.0");
  app.require_subcommand(1);

  std::string listPath;
  CLI::App* list = app.add_subcommand("list", "List the entries of an updater file");
  list->add_option("FILE", listPath, "Updater file")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }
  try {
    if (list->parsed()) return ListCommand(listPath);
  } catch (const std::exception& error) {
    Complain("error", error.what());
    return kExitFailure;
  }
  return kExitUsage;
}
