#include "package/install.h"

#include <stdlib.h>

#include "fileio/paths.h"
#include "package/checksum.h"
#include "package/package.h"
#include "package/status.h"
#include "package/verification.h"
#include "records/uninstall_list.h"

namespace {

// Writes one entry's bytes to installFolder\name. The target's attributes are
// reset first so that a read-only file can be replaced.
uint32_t WriteEntryFile(const char* installFolder, const PackageEntry& entry, const void* data) {
  char path[MAX_PATH];
  if (!JoinPath(path, sizeof path, installFolder, entry.name)) return kStatusWriteFailed;
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  SequentialFile output;
  if (!output.OpenWrite(path)) return kStatusWriteFailed;
  // A short write or a refused close means the file on disk is not the entry.
  if (output.Write(data, entry.size) != entry.size) return kStatusWriteFailed;
  if (output.Close() == 0) return kStatusWriteFailed;
  return kStatusSuccess;
}

// Reads, checks and writes one entry. The buffer lives only in here.
uint32_t InstallEntry(SequentialFile& packageFile, const Package& package,
                      const VerificationList& list, const PackageEntry& entry,
                      const char* installFolder) {
  // A position past 4 GiB would wrap around to some other part of the file.
  if (entry.offset > 0xFFFFFFFFu - package.dataAreaBase) return kStatusUnreadable;
  uint32_t position = package.dataAreaBase + entry.offset;
  if (!packageFile.Seek(position)) return kStatusUnreadable;
  // A damaged table may announce gigabytes: the file must hold the whole
  // entry before a block of its size is taken. The outcome is the one the
  // short read would give. (Only the low 32 bits of the size are known; a
  // package past 4 GiB cannot be installed by a 32-bit process anyway.)
  uint32_t fileSize = packageFile.GetSize();
  if (entry.size != 0 &&
      (fileSize == INVALID_FILE_SIZE || position > fileSize || entry.size > fileSize - position)) {
    return kStatusUnreadable;
  }
  // One byte more than nothing, so that an empty entry is not a failed allocation.
  void* data = malloc(entry.size == 0 ? 1 : entry.size);
  if (data == nullptr) return kStatusUnreadable;
  uint32_t status = kStatusUnreadable;
  if (packageFile.Read(data, entry.size) == entry.size) {
    PackageChecksum digest = {0, 0, 0, 0, 0};
    AddToChecksum(&digest, data, entry.size);
    if (VerifyEntry(list, entry.name, reinterpret_cast<const uint8_t*>(&digest)) == Mismatch) {
      status = kStatusMismatch;
    } else {
      status = WriteEntryFile(installFolder, entry, data);
    }
  }
  free(data);
  return status;
}

uint32_t InstallOpenedPackage(SequentialFile& packageFile, const Package& package,
                              const char* installFolder) {
  VerificationList list = LoadVerificationList(packageFile, package.entries, package.entryCount,
                                               package.dataAreaBase);
  uint32_t status = kStatusSuccess;
  uint32_t k = 0;
  for (; k < package.entryCount; ++k) {
    status = InstallEntry(packageFile, package, list, package.entries[k], installFolder);
    if (status != kStatusSuccess) break;
    package.writtenNames[k] = package.entries[k].name;
  }
  ReleaseVerificationList(&list);
  // The uninstall list learns of the files only when every entry is written.
  if (k < package.entryCount) return status;
  return UpdateUninstallList(installFolder, package.writtenNames) ? kStatusSuccess
                                                                  : kStatusUninstallListFailed;
}

uint32_t Install(SequentialFile& packageFile, Package& package, uint32_t openStatus,
                 const char* installFolder) {
  if (openStatus != kStatusSuccess) return openStatus;
  uint32_t status = InstallOpenedPackage(packageFile, package, installFolder);
  ReleasePackage(&package);
  packageFile.Close();
  return status;
}

}  // namespace

uint32_t InstallPackage(const char* installFolder) {
  SequentialFile packageFile;
  Package package;
  uint32_t openStatus = OpenPackage(packageFile, &package);
  return Install(packageFile, package, openStatus, installFolder);
}

uint32_t InstallPackageFrom(const char* packagePath, const char* installFolder) {
  SequentialFile packageFile;
  Package package;
  uint32_t openStatus = OpenPackageAt(packageFile, packagePath, &package);
  return Install(packageFile, package, openStatus, installFolder);
}
