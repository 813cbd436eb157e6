#include "package/verification.h"

#include <stdlib.h>
#include <string.h>

#include "package/names.h"

namespace {

const uint32_t kRecordSize = sizeof(VerificationRecord);
const uint32_t kMaxRecordCount = 0xFFFFFFFFu / kRecordSize;

// Copies at most limit bytes of text, stopping at its NUL, and folds the copy.
// The limit keeps a field without a NUL from being read past its end.
void CopyFolded(char (&out)[MAX_PATH], const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && length < sizeof out - 1 && text[length] != '\0') ++length;
  memcpy(out, text, length);
  out[length] = '\0';
  FoldAsciiCase(out);
}

// The first entry whose folded name is exactly "fwn.hvl", or null.
const PackageEntry* FindListEntry(const PackageEntry* entries, uint32_t entryCount) {
  for (uint32_t i = 0; i < entryCount; ++i) {
    char folded[MAX_PATH];
    CopyFolded(folded, entries[i].name, kEntryNameField);
    // sizeof includes the NUL, so a longer name does not match.
    if (memcmp(folded, kVerificationListName, sizeof kVerificationListName) == 0) return &entries[i];
  }
  return nullptr;
}

}  // namespace

VerificationList LoadVerificationList(SequentialFile& packageFile, const PackageEntry* entries,
                                      uint32_t entryCount, uint32_t dataAreaBase) {
  VerificationList absent = {nullptr, 0};
  const PackageEntry* entry = FindListEntry(entries, entryCount);
  if (entry == nullptr) return absent;

  // A position that wraps past 4 GiB would land somewhere else in the file.
  if (entry->offset > 0xFFFFFFFFu - dataAreaBase) return absent;
  uint32_t position = dataAreaBase + entry->offset;
  if (!packageFile.Seek(position)) return absent;

  // | 0 | 8 | magic "QSM_____" | 8 | 4 | reserved | 12 | u32 | record count |
  uint8_t header[kVerificationHeaderSize];
  if (packageFile.Read(header, sizeof header) != sizeof header) return absent;
  if (memcmp(header, kVerificationMagic, kVerificationMagicLength) != 0) return absent;
  uint32_t count = static_cast<uint32_t>(header[12]) | static_cast<uint32_t>(header[13]) << 8 |
                   static_cast<uint32_t>(header[14]) << 16 | static_cast<uint32_t>(header[15]) << 24;

  // The count is not bounded by the format, so it is bounded by what the
  // file can supply before anything is allocated for it.
  if (count > kMaxRecordCount) return absent;
  uint32_t blockSize = count * kRecordSize;
  uint32_t fileSize = packageFile.GetSize();
  uint32_t recordsStart = position + kVerificationHeaderSize;  // position < 2^31
  if (fileSize == INVALID_FILE_SIZE || fileSize < recordsStart ||
      blockSize > fileSize - recordsStart) {
    return absent;
  }

  // At least one byte, so that a list of no records is still present.
  VerificationRecord* records = static_cast<VerificationRecord*>(malloc(blockSize + (count == 0)));
  if (records == nullptr) return absent;
  if (packageFile.Read(records, blockSize) != blockSize) {
    free(records);
    return absent;
  }
  VerificationList list = {records, count};
  return list;
}

VerifyOutcome VerifyEntry(const VerificationList& list, const char* name,
                          const uint8_t digest[kChecksumSize]) {
  if (list.records == nullptr) return NotListed;
  char entryName[MAX_PATH];
  CopyFolded(entryName, name, MAX_PATH - 1);
  for (uint32_t i = 0; i < list.count; ++i) {
    const VerificationRecord& record = list.records[i];
    char recordName[MAX_PATH];
    CopyFolded(recordName, record.name, kRecordNameField);
    if (strcmp(entryName, recordName) != 0) continue;
    // The first record of a name decides; later ones are never looked at.
    return memcmp(record.digest, digest, kChecksumSize) == 0 ? Verified : Mismatch;
  }
  return NotListed;
}

void ReleaseVerificationList(VerificationList* list) {
  free(list->records);
  list->records = nullptr;
  list->count = 0;
}
