// Arbitrary bytes as the package behind a 65536-byte zero image: first
// through the reader's pieces (OpenPackageAt, LoadVerificationList,
// AddToChecksum, VerifyEntry), then through the whole installation into a
// scratch folder on tmpfs.
//
// The outcome is checked against a plain model of the installation: the
// status, the files in the folder and their bytes, and the uninstall list.
// So a failure reported as success, a file written that should not be, or a
// list changed after a stop are findings as much as a crash.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "package/checksum.h"
#include "package/install.h"
#include "package/names.h"
#include "package/package.h"
#include "package/status.h"
#include "package/verification.h"

namespace {

const uint64_t kImageSize = 65536;
const uint64_t kMaxSeek = 0x7FFFFFFF;
const char kInitialList[] = "game.exe\nold.pak\n";

std::string root;
std::string folder;
std::string packagePath;

struct ModelEntry {
  std::string name;  // as stored, up to its NUL
  uint32_t offset;
  uint32_t size;
};

// What the installation must do with this package.
struct Model {
  uint32_t openStatus = kStatusUnreadable;
  std::vector<ModelEntry> entries;
  uint64_t base = 0;
  bool listPresent = false;
  uint32_t listCount = 0;
  std::vector<std::pair<std::string, std::string>> records;  // folded name, digest
  uint32_t status = kStatusUnreadable;
  std::map<std::string, std::string> files;  // file name in the folder -> bytes
};

// The package's bytes at a file position, when the file holds all of them.
// Nothing is always there: a seek may go past the end, and a read of no
// bytes then gets all it asked for.
bool At(const uint8_t* data, size_t size, uint64_t position, uint64_t length, const uint8_t** out) {
  static const uint8_t kNothing = 0;
  uint64_t fileSize = kImageSize + size;
  if (length == 0) {
    *out = &kNothing;
    return true;
  }
  if (position < kImageSize || position > fileSize || length > fileSize - position) return false;
  *out = data + (position - kImageSize);
  return true;
}

// The file that a name lands on in the folder, or "" when writing it must
// fail: only names that end in a plain component below the folder itself
// can be created, since no subfolder exists and none is made.
std::string TargetFile(const std::string& name) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(name[i]);
    bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    if (lead && i + 1 < name.size()) {
      // A double-byte character; its trail byte is never a separator here,
      // but a '/' stays a separator for the POSIX kernel.
      part += name[i];
      ++i;
      if (name[i] == '/') {
        parts.push_back(part);
        part.clear();
      } else {
        part += name[i];
      }
      continue;
    }
    if (name[i] == '\\' || name[i] == '/') {
      parts.push_back(part);
      part.clear();
    } else {
      part += name[i];
    }
  }
  parts.push_back(part);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (!parts[i].empty() && parts[i] != ".") return "";
  }
  const std::string& last = parts.back();
  return last.empty() || last == "." ? "" : last;
}

Model BuildModel(const uint8_t* data, size_t size) {
  Model model;
  if (size < 16) return model;
  uint32_t count = LoadLe32(data + 12);
  if (count > kMaxEntries) {
    model.openStatus = model.status = kStatusTooManyEntries;
    return model;
  }
  if (size < 16 + 32 * static_cast<size_t>(count)) return model;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* field = data + 16 + 32 * i;
    const void* nul = memchr(field, '\0', kEntryNameField);
    if (nul == nullptr) return model;
    ModelEntry entry;
    entry.name.assign(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(nul) - field);
    if (!IsSafeEntryName(entry.name.c_str())) return model;
    entry.offset = LoadLe32(field + 16);
    entry.size = LoadLe32(field + 20);
    model.entries.push_back(entry);
  }
  model.openStatus = kStatusSuccess;
  model.base = kImageSize + 16 + 32ull * count;

  for (const ModelEntry& entry : model.entries) {
    if (FoldAscii(entry.name) != kVerificationListName) continue;
    uint64_t position = model.base + entry.offset;
    const uint8_t* header;
    if (position <= kMaxSeek && At(data, size, position, 16, &header) &&
        memcmp(header, kVerificationMagic, kVerificationMagicLength) == 0) {
      uint32_t n = LoadLe32(header + 12);
      const uint8_t* records;
      if (At(data, size, position + 16, 64ull * n, &records)) {
        model.listPresent = true;
        model.listCount = n;
        for (uint32_t r = 0; r < n; ++r) {
          const char* name = reinterpret_cast<const char*>(records + 64 * r);
          model.records.emplace_back(FoldAscii(std::string(name, strnlen(name, kRecordNameField))),
                                     std::string(name + kRecordNameField, kChecksumSize));
        }
      }
    }
    break;  // only the first entry of that name is tried
  }

  std::vector<std::string> writtenNames;
  for (const ModelEntry& entry : model.entries) {
    uint64_t position = model.base + entry.offset;
    const uint8_t* bytes;
    if (position > kMaxSeek || !At(data, size, position, entry.size, &bytes)) return model;
    std::string digest = ReferenceDigest(bytes, entry.size);
    std::string folded = FoldAscii(entry.name);
    for (const auto& record : model.records) {
      if (record.first != folded) continue;
      if (record.second != digest) {
        model.status = kStatusMismatch;
        return model;
      }
      break;
    }
    std::string target = TargetFile(entry.name);
    if (target.empty() || folder.size() + 1 + entry.name.size() + 1 > MAX_PATH) {
      model.status = kStatusWriteFailed;
      return model;
    }
    model.files[target].assign(reinterpret_cast<const char*>(bytes), entry.size);
    writtenNames.push_back(entry.name);
  }

  auto list = model.files.find("uninst.lst");
  std::string before = list != model.files.end() ? list->second : std::string(kInitialList, sizeof kInitialList);
  std::string after;
  if (ReferenceListUpdate(&before, writtenNames, &after)) {
    model.status = kStatusSuccess;
    model.files["uninst.lst"] = after;
    model.files.erase("uninst.lst.new");  // the new list is renamed over it
  } else {
    model.status = kStatusUninstallListFailed;
  }
  return model;
}

// The reader's pieces on their own, against the model.
void CheckPieces(const uint8_t* data, size_t size, const Model& model) {
  SequentialFile file;
  Package package;
  uint32_t status = OpenPackageAt(file, packagePath.c_str(), &package);
  if (status != model.openStatus) FuzzFail("OpenPackageAt gave %#x, the model %#x", status, model.openStatus);
  if (status != kStatusSuccess) return;
  if (package.entryCount != model.entries.size() || package.dataAreaBase != model.base ||
      package.writtenNames[package.entryCount] != nullptr) {
    FuzzFail("OpenPackageAt delivered another table");
  }

  VerificationList list = LoadVerificationList(file, package.entries, package.entryCount,
                                               package.dataAreaBase);
  if ((list.records != nullptr) != model.listPresent || list.count != model.listCount) {
    FuzzFail("verification list: present %d count %u, the model %d %u", list.records != nullptr,
             list.count, model.listPresent, model.listCount);
  }
  for (const ModelEntry& entry : model.entries) {
    const uint8_t* bytes;
    uint64_t position = model.base + entry.offset;
    if (position > kMaxSeek || !At(data, size, position, entry.size, &bytes)) continue;
    if (!file.Seek(static_cast<uint32_t>(position))) FuzzFail("seek to %llu refused", (unsigned long long)position);
    std::vector<uint8_t> buffer(entry.size + 1);
    if (file.Read(buffer.data(), entry.size) != entry.size) FuzzFail("short read inside the file");
    if (memcmp(buffer.data(), bytes, entry.size) != 0) FuzzFail("read other bytes than the file's");

    PackageChecksum whole = {0, 0, 0, 0, 0};
    AddToChecksum(&whole, buffer.data(), entry.size);
    std::string digest = ReferenceDigest(bytes, entry.size);
    if (memcmp(&whole, digest.data(), kChecksumSize) != 0) FuzzFail("AddToChecksum differs from the model");
    PackageChecksum split = {0, 0, 0, 0, 0};
    uint32_t cut = entry.size / 3;
    AddToChecksum(&split, buffer.data(), cut);
    AddToChecksum(&split, buffer.data() + cut, entry.size - cut);
    if (memcmp(&split, &whole, kChecksumSize) != 0) FuzzFail("two calls differ from one");

    VerifyOutcome expected = NotListed;
    for (const auto& record : model.records) {
      if (record.first == FoldAscii(entry.name)) {
        expected = record.second == digest ? Verified : Mismatch;
        break;
      }
    }
    VerifyOutcome outcome = VerifyEntry(list, entry.name.c_str(), reinterpret_cast<const uint8_t*>(&whole));
    if (outcome != expected) FuzzFail("VerifyEntry gave %d, the model %d", outcome, expected);
  }
  ReleaseVerificationList(&list);
  ReleasePackage(&package);
}

void CheckInstallation(const Model& model) {
  std::string initial(kInitialList, sizeof kInitialList);
  WriteWholeFile(folder + "/uninst.lst", initial);
  uint32_t status = InstallPackageFrom(packagePath.c_str(), folder.c_str());
  if (status != model.status) FuzzFail("InstallPackageFrom gave %#x, the model %#x", status, model.status);

  std::map<std::string, std::string> expected = model.files;
  if (expected.count("uninst.lst") == 0) expected["uninst.lst"] = initial;
  std::vector<std::string> found = ListFolder(folder);
  if (found.size() != expected.size()) FuzzFail("%zu files in the folder, the model %zu", found.size(), expected.size());
  for (const std::string& name : found) {
    auto want = expected.find(name);
    if (want == expected.end()) FuzzFail("unexpected file '%s'", name.c_str());
    std::string content;
    if (!ReadWholeFile(folder + "/" + name, &content) || content != want->second) {
      FuzzFail("'%s' holds other bytes than the model's", name.c_str());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  root = MakeScratchFolder("package");
  folder = root + "/game";
  packagePath = root + "/Update.exe";
  if (mkdir(folder.c_str(), 0755) != 0) FuzzFail("cannot create %s", folder.c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The image stays zero: only the package behind it is rewritten.
  int fd = open(packagePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(kImageSize)) != 0 ||
      pwrite(fd, data, size, static_cast<off_t>(kImageSize)) != static_cast<ssize_t>(size)) {
    FuzzFail("cannot write the package file");
  }
  close(fd);
  EmptyFolder(folder);

  Model model = BuildModel(data, size);
  CheckPieces(data, size, model);
  CheckInstallation(model);
  return 0;
}
