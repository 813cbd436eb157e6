#include "tools/packwriter/package_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>

#include "package/checksum.h"
#include "package/names.h"
#include "package/package_format.h"

namespace packwriter {

namespace {

const size_t kCopyBufferSize = 1 << 20;
const uint64_t kSizeLimit = uint64_t{1} << 32;   // sizes and offsets are u32
const uint64_t kSeekLimit = uint64_t{1} << 31;   // the updater's Seek refuses more

[[noreturn]] void Refuse(const std::string& message) { throw std::runtime_error(message); }

[[noreturn]] void FailIo(const std::string& what, const std::string& path) {
  Refuse(path + ": " + what + ": " + std::strerror(errno));
}

std::string Escaped(const std::string& name) {
  std::string shown;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      shown += hex;
    }
  }
  return shown;
}

std::string Quoted(const std::string& name, const WriteOptions& options) {
  bool custom = options.displayName && name.find('\0') == std::string::npos;
  return "\"" + (custom ? options.displayName(name) : Escaped(name)) + "\"";
}

std::string Folded(const std::string& name) {
  std::string copy = name;
  FoldAsciiCase(&copy[0]);
  return copy;
}

// Closes a descriptor we only read from, on every path.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The temporary file beside the output, removed unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::string& outPath) : path_(outPath + ".tmp-XXXXXX") {
    fd_ = ::mkstemp(&path_[0]);
    if (fd_ < 0) FailIo("cannot create a temporary file beside it", outPath);
    // mkstemp makes the file private; give it the mode a plain create would.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }

  // A failed close of a file we wrote counts as a failed write.
  void Commit(const std::string& outPath) {
    if (::fsync(fd_) != 0) FailIo("cannot flush", outPath);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) FailIo("cannot write", outPath);
    if (::rename(path_.c_str(), outPath.c_str()) != 0) FailIo("cannot rename the finished file into place", outPath);
    committed_ = true;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

void WriteAll(int fd, const void* data, size_t length, const std::string& outPath) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t done = ::write(fd, p, length);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) FailIo("cannot write", outPath);
    p += done;
    length -= static_cast<size_t>(done);
  }
}

void WriteAllAt(int fd, const void* data, size_t length, off_t position, const std::string& outPath) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t done = ::pwrite(fd, p, length, position);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) FailIo("cannot write", outPath);
    p += done;
    position += done;
    length -= static_cast<size_t>(done);
  }
}

// One entry as it will be laid out, with its size known before writing.
struct Planned {
  const InputEntry* input;  // null for the verification list
  std::string name;
  uint64_t offset;
  uint64_t size;
};

uint64_t SourceSize(const InputEntry& entry) {
  if (entry.sourcePath.empty()) return entry.bytes.size();
  struct stat info;
  if (::stat(entry.sourcePath.c_str(), &info) != 0) FailIo("cannot read", entry.sourcePath);
  if (!S_ISREG(info.st_mode)) Refuse(entry.sourcePath + ": not a regular file");
  return static_cast<uint64_t>(info.st_size);
}

void CheckNames(const std::vector<InputEntry>& entries, const WriteOptions& options) {
  size_t total = entries.size() + (options.verificationList ? 1 : 0);
  if (total > kMaxEntries) {
    if (options.verificationList) {
      Refuse("too many entries: " + std::to_string(entries.size()) + " files and the verification list; at most " +
             std::to_string(kMaxEntries - 1) + " files fit besides the list");
    }
    Refuse("too many entries: " + std::to_string(total) + ", at most " + std::to_string(kMaxEntries) + " fit");
  }
  std::set<std::string> seen;
  if (options.verificationList) seen.insert(kVerificationListName);
  for (const InputEntry& entry : entries) {
    const std::string& name = entry.name;
    if (name.empty()) Refuse("an entry has an empty name");
    if (name.size() > kMaxEntryName) {
      Refuse("entry name " + Quoted(name, options) + " is " + std::to_string(name.size()) + " bytes long, at most " +
             std::to_string(kMaxEntryName) + " fit");
    }
    if (name.find('\0') != std::string::npos) Refuse("entry name " + Quoted(name, options) + " holds a NUL byte");
    if (!IsSafeEntryName(name.c_str())) {
      Refuse("entry name " + Quoted(name, options) + " is unsafe: it could leave the install folder");
    }
    if (!seen.insert(Folded(name)).second) {
      Refuse("entry name " + Quoted(name, options) + " is used twice (letter case does not count)");
    }
  }
}

std::vector<Planned> Plan(const std::vector<InputEntry>& entries, const WriteOptions& options) {
  std::vector<Planned> plan;
  if (options.verificationList) {
    plan.push_back({nullptr, kVerificationListName, 0,
                    kVerificationHeaderSize + uint64_t{sizeof(VerificationRecord)} * entries.size()});
  }
  for (const InputEntry& entry : entries) {
    // Without the checks, a full 16-byte field without a NUL is still storable.
    if (entry.name.size() > kEntryNameField) {
      Refuse("entry name " + Quoted(entry.name, options) + " does not fit its field");
    }
    plan.push_back({&entry, entry.name, 0, 0});
  }
  uint64_t base = DataAreaBase(static_cast<uint32_t>(plan.size()));
  uint64_t offset = 0;
  for (Planned& entry : plan) {
    if (entry.input != nullptr) entry.size = SourceSize(*entry.input);
    if (entry.size >= kSizeLimit) Refuse("entry " + Quoted(entry.name, options) + " is 4 GiB or larger");
    if (base + offset >= kSeekLimit) {
      Refuse("entry " + Quoted(entry.name, options) + " would start at file position " + std::to_string(base + offset) +
             ", past the 2 GiB the updater can seek to");
    }
    entry.offset = offset;
    offset += entry.size;
  }
  return plan;
}

std::vector<uint8_t> TableBytes(const std::vector<Planned>& plan) {
  std::vector<uint8_t> table(sizeof(PackageEntry) * plan.size(), 0);
  for (size_t i = 0; i < plan.size(); ++i) {
    PackageEntry record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.name, plan[i].name.data(), plan[i].name.size());
    record.offset = static_cast<uint32_t>(plan[i].offset);
    record.size = static_cast<uint32_t>(plan[i].size);
    std::memcpy(&table[i * sizeof record], &record, sizeof record);
  }
  return table;
}

std::array<uint8_t, kChecksumSize> Digest(const PackageChecksum& state) {
  std::array<uint8_t, kChecksumSize> digest;
  std::memcpy(digest.data(), &state, kChecksumSize);
  return digest;
}

class Progress {
 public:
  Progress(const WriteOptions& options, uint64_t total) : report_(options.progress), total_(total) {}
  void Add(uint64_t bytes) {
    done_ += bytes;
    if (report_) report_(done_, total_);
  }

 private:
  const std::function<void(uint64_t, uint64_t)>& report_;
  uint64_t total_;
  uint64_t done_ = 0;
};

// Copies one entry's data to the output and returns its checksum.
PackageChecksum CopyEntry(const Planned& entry, int out, const std::string& outPath, std::vector<uint8_t>& buffer,
                          Progress& progress) {
  PackageChecksum state = {};
  const InputEntry& input = *entry.input;
  if (input.sourcePath.empty()) {
    const uint8_t* p = input.bytes.data();
    for (uint64_t left = entry.size; left > 0;) {
      uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(left, kCopyBufferSize));
      AddToChecksum(&state, p, chunk);
      WriteAll(out, p, chunk, outPath);
      progress.Add(chunk);
      p += chunk;
      left -= chunk;
    }
    return state;
  }
  Descriptor in(::open(input.sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) FailIo("cannot open", input.sourcePath);
  uint64_t copied = 0;
  for (;;) {
    ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FailIo("cannot read", input.sourcePath);
    if (got == 0) break;
    copied += static_cast<uint64_t>(got);
    if (copied > entry.size) break;
    AddToChecksum(&state, buffer.data(), static_cast<uint32_t>(got));
    WriteAll(out, buffer.data(), static_cast<size_t>(got), outPath);
    progress.Add(static_cast<uint64_t>(got));
  }
  if (copied != entry.size) Refuse(input.sourcePath + ": the file changed size while it was being packed");
  return state;
}

// | 0 | 8 magic | 8 | 4 reserved | 12 | u32 count | 16 | records |
std::vector<uint8_t> ListBytes(const std::vector<Planned>& plan, const std::vector<WrittenEntry>& written) {
  std::vector<uint8_t> list(kVerificationHeaderSize, 0);
  std::memcpy(list.data(), kVerificationMagic, kVerificationMagicLength);
  uint32_t count = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    if (plan[i].input == nullptr) continue;
    VerificationRecord record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.name, plan[i].name.data(), plan[i].name.size());
    std::memcpy(record.digest, written[i].digest.data(), kChecksumSize);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
    list.insert(list.end(), bytes, bytes + sizeof record);
    ++count;
  }
  std::memcpy(&list[12], &count, sizeof count);
  return list;
}

}  // namespace

std::vector<WrittenEntry> WriteUpdater(const std::string& outPath, const std::vector<uint8_t>& stub,
                                       const std::vector<InputEntry>& entries, const WriteOptions& options) {
  if (stub.size() > kPackageOffset) {
    Refuse("the stub is " + std::to_string(stub.size()) + " bytes, larger than the " +
           std::to_string(kPackageOffset) + " bytes before the package");
  }
  if (options.checkNames) CheckNames(entries, options);
  std::vector<Planned> plan = Plan(entries, options);
  uint64_t total = 0;
  for (const Planned& entry : plan) total += entry.size;

  TempFile out(outPath);
  std::vector<uint8_t> head(kPackageOffset, 0);
  std::copy(stub.begin(), stub.end(), head.begin());
  PackageHeader header;
  std::memcpy(header.signature, kPackageSignature, kSignatureLength);
  header.entryCount = static_cast<uint32_t>(plan.size());
  const uint8_t* headerBytes = reinterpret_cast<const uint8_t*>(&header);
  head.insert(head.end(), headerBytes, headerBytes + sizeof header);
  std::vector<uint8_t> table = TableBytes(plan);
  head.insert(head.end(), table.begin(), table.end());
  WriteAll(out.fd(), head.data(), head.size(), outPath);

  // The list comes first but needs every digest: leave its room and fill it in last.
  uint64_t base = DataAreaBase(header.entryCount);
  uint64_t dataStart = base + (options.verificationList ? plan[0].size : 0);
  if (::lseek(out.fd(), static_cast<off_t>(dataStart), SEEK_SET) < 0) FailIo("cannot seek", outPath);

  std::vector<WrittenEntry> written;
  std::vector<uint8_t> buffer(kCopyBufferSize);
  Progress progress(options, total);
  for (const Planned& entry : plan) {
    WrittenEntry result{entry.name, static_cast<uint32_t>(entry.offset), static_cast<uint32_t>(entry.size), {}};
    if (entry.input != nullptr) result.digest = Digest(CopyEntry(entry, out.fd(), outPath, buffer, progress));
    written.push_back(result);
  }
  if (options.verificationList) {
    std::vector<uint8_t> list = ListBytes(plan, written);
    PackageChecksum state = {};
    AddToChecksum(&state, list.data(), static_cast<uint32_t>(list.size()));
    written[0].digest = Digest(state);
    WriteAllAt(out.fd(), list.data(), list.size(), static_cast<off_t>(base), outPath);
    progress.Add(list.size());
  }
  out.Commit(outPath);
  return written;
}

}  // namespace packwriter
