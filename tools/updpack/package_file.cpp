#include "package_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "commands.h"
#include "package/status.h"
#include "sha256.h"

namespace {

const uint32_t kReadPiece = 1 << 20;
const uint64_t kMaxSeekPosition = 0x7FFFFFFF;

std::string DescribeProblem(const Package& package) {
  std::string entry = "entry " + std::to_string(package.problemEntry);
  switch (package.problem) {
    case kPackageCannotOpen: return "cannot be opened";
    case kPackageTooShort: return "shorter than " + std::to_string(kPackageOffset) + " bytes: no package";
    case kPackageHeaderCut: return "the package header is cut short";
    case kPackageTooManyEntries:
      return "the package announces more than " + std::to_string(kMaxEntries) + " entries";
    case kPackageNoMemory: return "out of memory";
    case kPackageTableCut: return "the entry table is cut short";
    case kPackageNameUnterminated: return entry + ": the name is not terminated within 16 bytes (damaged)";
    case kPackageNameUnsafe: return entry + ": the name could leave the install folder (unsafe)";
    case kPackageOk: break;
  }
  return "unreadable";
}

}  // namespace

OpenedPackage::~OpenedPackage() {
  if (open_) ReleasePackage(&package_);
}

bool OpenedPackage::Open(const std::string& path) {
  if (OpenPackageAt(file_, path.c_str(), &package_) != kStatusSuccess) {
    Complain(path, DescribeProblem(package_));
    return false;
  }
  open_ = true;
  return true;
}

bool OpenedPackage::ReadEntry(uint32_t index, const std::function<void(const uint8_t*, uint32_t)>& take) {
  const PackageEntry& entry = package_.entries[index];
  uint64_t position = uint64_t{package_.dataAreaBase} + entry.offset;
  if (position > kMaxSeekPosition || !file_.Seek(static_cast<uint32_t>(position))) return false;
  std::vector<uint8_t> buffer(std::min(entry.size, kReadPiece));
  for (uint32_t left = entry.size; left > 0;) {
    uint32_t piece = std::min(left, kReadPiece);
    if (file_.Read(buffer.data(), piece) != piece) return false;
    take(buffer.data(), piece);
    left -= piece;
  }
  return true;
}

void PrintFileFacts(const std::string& path, const Package& package) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return;
  uint64_t size = static_cast<uint64_t>(info.st_size);
  uint64_t end = package.dataAreaBase;
  for (uint32_t i = 0; i < package.entryCount; ++i) {
    end = std::max(end, uint64_t{package.dataAreaBase} + package.entries[i].offset + package.entries[i].size);
  }
  std::printf("file size: %llu\n", static_cast<unsigned long long>(size));
  if (size >= end) {
    std::printf("bytes after the last entry: %llu%s\n", static_cast<unsigned long long>(size - end),
                size > end ? " (not read by the updater; an appended signature, for example)" : "");
  } else {
    std::printf("bytes after the last entry: none; the entries reach %llu bytes past the end of the file\n",
                static_cast<unsigned long long>(end - size));
  }
  std::printf("sha256: %s\n", Sha256OfFile(path).c_str());
}
