// The update package as it lies in the updater's file, defined once for the
// updater and for the tools that write and read packages.
//
// Updater file:
//   0                 executable image, at most kPackageOffset bytes
//   end of image      zero bytes up to kPackageOffset
//   kPackageOffset    PackageHeader (16 bytes)
//   +16               entryCount PackageEntry records (32 bytes each)
//   +16+32*count      data area: each entry's bytes at its offset from here
//
// All integers are little-endian; both targets are little-endian machines, so
// the records are read in place.
#pragma once

#include <stddef.h>
#include <stdint.h>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "records are read in place");

const uint32_t kPackageOffset = 65536;
const uint32_t kMaxEntries = 24;
const size_t kSignatureLength = 12;
const char kPackageSignature[] = "PackFile    ";
const size_t kEntryNameField = 16;
const size_t kMaxEntryName = kEntryNameField - 1;

// | offset | width | field                                          |
// | 0      | 12    | signature "PackFile" + 4 spaces (never checked) |
// | 12     | u32   | entryCount, 0 to kMaxEntries accepted            |
struct PackageHeader {
  char signature[kSignatureLength];
  uint32_t entryCount;
};
static_assert(sizeof(PackageHeader) == 16, "PackageHeader is 16 bytes");

// | offset | width | field                                           |
// | 0      | 16    | name: at most 15 bytes of ANSI text, NUL-filled |
// | 16     | u32   | offset of the data from the data-area base      |
// | 20     | u32   | size of the data                                |
// | 24     | 8     | reserved, zero, never read                      |
struct PackageEntry {
  char name[kEntryNameField];
  uint32_t offset;
  uint32_t size;
  uint8_t reserved[8];
};
static_assert(sizeof(PackageEntry) == 32, "PackageEntry is 32 bytes");

inline uint32_t DataAreaBase(uint32_t entryCount) {
  return kPackageOffset + sizeof(PackageHeader) + sizeof(PackageEntry) * entryCount;
}

// The verification list, carried as an ordinary entry named kVerificationListName.
//   0   8     magic "QSM_____", no terminator, letter case matters
//   8   4     reserved, zero, never read
//   12  u32   record count n
//   16  64*n  VerificationRecord
const char kVerificationListName[] = "fwn.hvl";
const char kVerificationMagic[] = "QSM_____";
const size_t kVerificationMagicLength = 8;
const uint32_t kVerificationHeaderSize = 16;
const size_t kChecksumSize = 8;
const size_t kRecordNameField = 56;

// | offset | width | field                                                 |
// | 0      | 56    | name: ANSI file name, NUL inside the field, zero-filled |
// | 56     | 8     | digest: the PackageChecksum of the file's content       |
struct VerificationRecord {
  char name[kRecordNameField];
  uint8_t digest[kChecksumSize];
};
static_assert(sizeof(VerificationRecord) == 64, "VerificationRecord is 64 bytes");
