// Opening the update package that lies behind the updater's image.
#pragma once

#include <stdint.h>

#include "fileio/sequential_file.h"
#include "package/package_format.h"

// Why a package could not be opened, for the tools' messages; the updater
// itself only reports the status code.
enum PackageProblem {
  kPackageOk,
  kPackageCannotOpen,
  kPackageTooShort,        // shorter than kPackageOffset
  kPackageHeaderCut,
  kPackageTooManyEntries,
  kPackageNoMemory,
  kPackageTableCut,
  kPackageNameUnterminated,  // no NUL in the 16-byte name field
  kPackageNameUnsafe,        // the name could leave the install folder
};

// What a successful open hands to the installation. The written-names array
// has entryCount + 1 slots, the last one null; its pointers point into the
// entry table, so the table must outlive them.
struct Package {
  uint32_t entryCount;
  PackageEntry* entries;
  const char** writtenNames;
  uint32_t dataAreaBase;
  PackageProblem problem;  // set on every open, kPackageOk on success
  uint32_t problemEntry;   // the entry at fault for the name problems
};

// Opens the running executable's own file as the package file.
uint32_t OpenPackage(SequentialFile& file, Package* package);

// Opens the package in the updater file at path. Returns kStatusSuccess with
// the file open and the package filled in, or kStatusUnreadable /
// kStatusTooManyEntries with nothing allocated and the file closed. A name
// without a NUL in its field, or one that could leave the install folder,
// makes the package unreadable before anything is written.
uint32_t OpenPackageAt(SequentialFile& file, const char* path, Package* package);

// Frees the entry table and the written-names array; the file is the caller's.
void ReleasePackage(Package* package);
