// The package's verification list: which entries must match which digest.
#pragma once

#include <stdint.h>

#include "fileio/sequential_file.h"
#include "package/package_format.h"

enum VerifyOutcome { NotListed, Verified, Mismatch };

// The records as read, in file order; records is null when the list is absent,
// which behaves as a list with no records.
struct VerificationList {
  VerificationRecord* records;
  uint32_t count;
};

// Finds the first entry whose folded name is "fwn.hvl" and loads its records.
// Anything that goes wrong leaves the list absent; nothing is reported.
VerificationList LoadVerificationList(SequentialFile& packageFile, const PackageEntry* entries,
                                      uint32_t entryCount, uint32_t dataAreaBase);

// Decides an entry by the first record whose folded name equals its folded name.
VerifyOutcome VerifyEntry(const VerificationList& list, const char* name,
                          const uint8_t digest[kChecksumSize]);

// Frees the records; an absent list is accepted.
void ReleaseVerificationList(VerificationList* list);
