#include <cstdio>
#include <string>

#include "commands.h"
#include "package_file.h"

int ListCommand(const std::string& path) {
  OpenedPackage opened;
  if (!opened.Open(path)) return kExitFailure;
  const Package& package = opened.package();
  std::printf("entries: %u\ndata area base: %u\n", package.entryCount, package.dataAreaBase);
  std::printf("%5s  %s %10s %10s %12s\n", "index", PadToWidth("name", 16).c_str(), "offset", "size", "position");
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    const PackageEntry& entry = package.entries[i];
    unsigned long long position = static_cast<unsigned long long>(package.dataAreaBase) + entry.offset;
    std::printf("%5u  %s %10u %10u %12llu\n", i, PadToWidth(DisplayName(entry.name), 16).c_str(), entry.offset,
                entry.size, position);
  }
  PrintFileFacts(path, package);
  return kExitOk;
}
