#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "package/checksum.h"
#include "package/names.h"
#include "package/status.h"
#include "package/verification.h"
#include "package_file.h"

namespace {

enum EntryResult { kNotListed, kVerified, kMismatch, kUnreadable };

const char* ResultName(EntryResult result) {
  switch (result) {
    case kNotListed: return "NotListed";
    case kVerified: return "Verified";
    case kMismatch: return "Mismatch";
    case kUnreadable: return "Unreadable";
  }
  return "";
}

bool IsListName(const char* name) {
  char folded[kEntryNameField + 1] = {};
  std::strncpy(folded, name, kEntryNameField);
  FoldAsciiCase(folded);
  return std::strcmp(folded, kVerificationListName) == 0;
}

// Releases the loaded list on every path.
struct ListHolder {
  VerificationList list;
  ~ListHolder() { ReleaseVerificationList(&list); }
};

}  // namespace

int VerifyCommand(const std::string& path) {
  OpenedPackage opened;
  if (!opened.Open(path)) return kExitFailure;
  const Package& package = opened.package();
  ListHolder holder{LoadVerificationList(opened.file(), package.entries, package.entryCount, package.dataAreaBase)};
  const VerificationList& list = holder.list;
  bool listFound = list.records != nullptr;
  if (listFound) {
    std::printf("verification list: found, %u records\n", list.count);
  } else {
    std::printf("verification list: none\n");
    Warn(path, "no verification list was found: the updater installs every entry unchecked");
  }

  std::printf("%5s  %-10s %s %s\n", "index", "outcome", PadToWidth("name", 16).c_str(), "checksum");
  int64_t stopAt = -1;
  EntryResult stopResult = kNotListed;
  bool listEntrySeen = false;
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    const PackageEntry& entry = package.entries[i];
    PackageChecksum state = {};
    bool read = opened.ReadEntry(i, [&](const uint8_t* bytes, uint32_t length) {
      AddToChecksum(&state, bytes, length);
    });
    EntryResult result = kUnreadable;
    if (read) {
      uint8_t digest[kChecksumSize];
      std::memcpy(digest, &state, sizeof digest);
      VerifyOutcome outcome = VerifyEntry(list, entry.name, digest);
      result = outcome == Verified ? kVerified : outcome == Mismatch ? kMismatch : kNotListed;
    }
    std::string name = DisplayName(entry.name);
    std::printf("%5u  %-10s %s %s\n", i, ResultName(result), PadToWidth(name, 16).c_str(),
                read ? DigestHex(state).c_str() : "-");

    // The list need not name its own entry, the first one that bears its name.
    bool isOwnList = listFound && !listEntrySeen && IsListName(entry.name);
    listEntrySeen = listEntrySeen || IsListName(entry.name);
    std::string subject = path + ": entry " + std::to_string(i) + " \"" + name + "\"";
    if (result == kNotListed && listFound && !isOwnList) {
      Warn(subject, "not in the verification list: installed unchecked");
    } else if (result == kMismatch) {
      Complain(subject, "its checksum differs from the verification list");
    } else if (result == kUnreadable) {
      Complain(subject, "its data cannot be read whole");
    }
    if (stopAt < 0 && (result == kMismatch || result == kUnreadable)) {
      stopAt = i;
      stopResult = result;
    }
  }
  PrintFileFacts(path, package);
  if (stopAt >= 0) {
    std::printf("result: the updater would stop at entry %lld with status 0x%08X\n", static_cast<long long>(stopAt),
                stopResult == kMismatch ? kStatusMismatch : kStatusUnreadable);
    return kExitFailure;
  }
  std::printf("result: the updater would install every entry\n");
  return kExitOk;
}
