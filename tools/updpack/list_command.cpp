#include <cstdio>
#include <string>

#include "commands.h"
#include "package/package.h"
#include "package/status.h"
#include "text.h"

namespace {

std::string DescribeProblem(const Package& package) {
  std::string entry = "entry " + std::to_string(package.problemEntry);
  switch (package.problem) {
    case kPackageCannotOpen: return "cannot be opened";
    case kPackageTooShort: return "shorter than " + std::to_string(kPackageOffset) + " bytes: no package";
    case kPackageHeaderCut: return "the package header is cut short";
    case kPackageTooManyEntries: return "the package announces more than " + std::to_string(kMaxEntries) + " entries";
    case kPackageNoMemory: return "out of memory";
    case kPackageTableCut: return "the entry table is cut short";
    case kPackageNameUnterminated: return entry + ": the name is not terminated within 16 bytes (damaged)";
    case kPackageNameUnsafe: return entry + ": the name could leave the install folder (unsafe)";
    case kPackageOk: break;
  }
  return "unreadable";
}

}  // namespace

void Complain(const std::string& subject, const std::string& problem) {
  std::fprintf(stderr, "updpack: %s: %s\n", subject.c_str(), problem.c_str());
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

int ListCommand(const std::string& path) {
  SequentialFile file;
  Package package;
  if (OpenPackageAt(file, path.c_str(), &package) != kStatusSuccess) {
    Complain(path, DescribeProblem(package));
    return kExitFailure;
  }
  std::printf("entries: %u\ndata area base: %u\n", package.entryCount, package.dataAreaBase);
  std::printf("%5s  %-16s %10s %10s %12s\n", "index", "name", "offset", "size", "position");
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    const PackageEntry& entry = package.entries[i];
    unsigned long long position = static_cast<unsigned long long>(package.dataAreaBase) + entry.offset;
    std::printf("%5u  %-16s %10u %10u %12llu\n", i, DisplayName(entry.name).c_str(), entry.offset,
                entry.size, position);
  }
  ReleasePackage(&package);
  return kExitOk;
}
