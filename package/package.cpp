#include "package/package.h"

#include <stdlib.h>
#include <string.h>

#include "package/names.h"
#include "package/status.h"

namespace {

uint32_t Fail(SequentialFile& file, Package* package, PackageProblem problem) {
  file.Close();
  package->problem = problem;
  return problem == kPackageTooManyEntries ? kStatusTooManyEntries : kStatusUnreadable;
}

PackageProblem CheckEntryNames(const PackageEntry* entries, uint32_t count, uint32_t* badEntry) {
  for (uint32_t i = 0; i < count; ++i) {
    *badEntry = i;
    const char* name = entries[i].name;
    if (memchr(name, '\0', kEntryNameField) == nullptr) return kPackageNameUnterminated;
    if (!IsSafeEntryName(name)) return kPackageNameUnsafe;
  }
  return kPackageOk;
}

}  // namespace

uint32_t OpenPackage(SequentialFile& file, Package* package) {
  // Pre-filled so that a failing lookup still leaves a terminated path.
  char ownPath[MAX_PATH] = "setup.exe";
  DWORD length = GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
  // A path that does not fit is truncated by the platform and names another file.
  if (length >= MAX_PATH) return Fail(file, package, kPackageCannotOpen);
  return OpenPackageAt(file, ownPath, package);
}

uint32_t OpenPackageAt(SequentialFile& file, const char* path, Package* package) {
  package->entries = nullptr;
  package->writtenNames = nullptr;
  package->problemEntry = 0;
  // A failed open needs no test of its own: GetSize then reports 0xFFFFFFFF
  // and the header read returns 0 bytes. It is named for the tools' sake.
  bool opened = file.OpenRead(path) != 0;
  if (file.GetSize() < kPackageOffset) return Fail(file, package, kPackageTooShort);
  file.Seek(kPackageOffset);
  PackageHeader header;
  if (file.Read(&header, sizeof header) != sizeof header) {
    return Fail(file, package, opened ? kPackageHeaderCut : kPackageCannotOpen);
  }
  if (header.entryCount > kMaxEntries) return Fail(file, package, kPackageTooManyEntries);

  uint32_t count = header.entryCount;
  uint32_t tableSize = static_cast<uint32_t>(sizeof(PackageEntry)) * count;
  // At least one byte, so that an empty table is not mistaken for a failure.
  PackageEntry* entries = static_cast<PackageEntry*>(malloc(tableSize + 1));
  const char** writtenNames = static_cast<const char**>(malloc(sizeof(char*) * (count + 1)));
  PackageProblem problem = kPackageOk;
  if (entries == nullptr || writtenNames == nullptr) {
    problem = kPackageNoMemory;
  } else if (file.Read(entries, tableSize) != tableSize) {
    problem = kPackageTableCut;
  } else {
    problem = CheckEntryNames(entries, count, &package->problemEntry);
  }
  if (problem != kPackageOk) {
    free(entries);
    free(writtenNames);
    return Fail(file, package, problem);
  }
  writtenNames[count] = nullptr;

  package->entryCount = count;
  package->entries = entries;
  package->writtenNames = writtenNames;
  package->dataAreaBase = DataAreaBase(count);
  package->problem = kPackageOk;
  return kStatusSuccess;
}

void ReleasePackage(Package* package) {
  free(package->entries);
  free(package->writtenNames);
  package->entries = nullptr;
  package->writtenNames = nullptr;
}
