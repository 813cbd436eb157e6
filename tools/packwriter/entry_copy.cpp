#include "tools/packwriter/entry_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace packwriter {

namespace {

// Pieces of the kernel copy: small enough to hand the checksum work over
// early, large enough that the calls cost nothing.
const uint64_t kCopyPiece = 4 << 20;
// Buffers stay inside the processor's cache.
const size_t kBufferSize = 256 << 10;
// Reading the output back and summing it costs more than the kernel's copy,
// so the entries are shared among a few threads.
const unsigned kMaxWorkers = 4;
const size_t kNoWorker = static_cast<size_t>(-1);

[[noreturn]] void FailIo(const std::string& what, const std::string& path) {
  throw std::runtime_error(path + ": " + what + ": " + std::strerror(errno));
}

[[noreturn]] void ChangedSize(const std::string& path) {
  throw std::runtime_error(path + ": the file changed size while it was being packed");
}

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

// Errors that say only that this kernel or these file systems cannot copy
// between the two files; the same copy through a buffer still works.
bool KernelCannotCopy(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EBADF;
}

// Moves up to count bytes from in at from to out at to. Returns the bytes
// moved, 0 at the end of in, or -1 with errno set.
ssize_t CopyPiece(int in, uint64_t from, int out, uint64_t to, size_t count, bool& kernelCopy,
                  std::vector<uint8_t>& buffer) {
  if (kernelCopy) {
    off_t inOffset = static_cast<off_t>(from);
    off_t outOffset = static_cast<off_t>(to);
    ssize_t moved = ::copy_file_range(in, &inOffset, out, &outOffset, count, 0);
    if (moved >= 0 || !KernelCannotCopy(errno)) return moved;
    kernelCopy = false;
  }
  if (buffer.empty()) buffer.resize(kBufferSize);
  ssize_t got = ::pread(in, buffer.data(), std::min(count, buffer.size()), static_cast<off_t>(from));
  if (got <= 0) return got;
  for (ssize_t put = 0; put < got;) {
    ssize_t done = ::pwrite(out, buffer.data() + put, static_cast<size_t>(got - put), static_cast<off_t>(to) + put);
    if (done < 0 && errno == EINTR) continue;
    // A file system that takes no byte ends here as if the disk were full.
    if (done <= 0) {
      if (done == 0) errno = ENOSPC;
      return -1;
    }
    put += done;
  }
  return got;
}

}  // namespace

void CopyFileInto(const std::string& sourcePath, uint64_t length, int out, uint64_t position,
                  const std::string& outPath, const std::function<void(uint64_t bytes)>& copied) {
  Descriptor in(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) FailIo("cannot open", sourcePath);
  bool kernelCopy = true;
  std::vector<uint8_t> buffer;
  for (uint64_t done = 0; done < length;) {
    size_t count = static_cast<size_t>(std::min(length - done, kCopyPiece));
    ssize_t moved = CopyPiece(in.get(), done, out, position + done, count, kernelCopy, buffer);
    if (moved < 0 && errno == EINTR) continue;
    if (moved < 0) {
      // Tell a failed read from a failed write for the message.
      int error = errno;
      char probe;
      bool readable = ::pread(in.get(), &probe, 1, static_cast<off_t>(done)) >= 0;
      errno = error;
      if (readable) FailIo("cannot write", outPath);
      FailIo("cannot read", sourcePath);
    }
    if (moved == 0) ChangedSize(sourcePath);
    done += static_cast<uint64_t>(moved);
    copied(static_cast<uint64_t>(moved));
  }
  char extra;
  ssize_t more = ::pread(in.get(), &extra, 1, static_cast<off_t>(length));
  if (more < 0) FailIo("cannot read", sourcePath);
  if (more > 0) ChangedSize(sourcePath);
}

OutputChecksums::OutputChecksums(int out, const std::string& outPath, size_t entryCount)
    : out_(out),
      outPath_(outPath),
      sums_(entryCount, PackageChecksum{0, 0, 0, 0, 0}),
      workerOf_(entryCount, kNoWorker),
      workers_(std::max(1u, std::min(std::thread::hardware_concurrency(), kMaxWorkers))) {
  try {
    for (Worker& worker : workers_) {
      worker.buffer.resize(kBufferSize);
      worker.thread = std::thread(&OutputChecksums::Run, this, std::ref(worker));
    }
  } catch (...) {
    Stop();
    throw;
  }
}

OutputChecksums::~OutputChecksums() { Stop(); }

void OutputChecksums::Add(size_t entry, uint64_t position, uint64_t length) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // An entry stays with one worker, since its bytes must be summed in
    // order; a new entry goes to the worker with the least work so far.
    if (workerOf_[entry] == kNoWorker) {
      size_t least = 0;
      for (size_t i = 1; i < workers_.size(); ++i) {
        if (workers_[i].assigned < workers_[least].assigned) least = i;
      }
      workerOf_[entry] = least;
    }
    Worker& worker = workers_[workerOf_[entry]];
    worker.assigned += length;
    worker.regions.push_back({entry, position, length});
  }
  queued_.notify_all();
}

std::vector<PackageChecksum> OutputChecksums::Finish() {
  Stop();
  for (const Worker& worker : workers_) {
    if (!worker.failure.empty()) throw std::runtime_error(worker.failure);
  }
  return sums_;
}

void OutputChecksums::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  queued_.notify_all();
  for (Worker& worker : workers_) {
    if (worker.thread.joinable()) worker.thread.join();
  }
}

void OutputChecksums::Run(Worker& worker) {
  for (;;) {
    Region region;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      queued_.wait(lock, [&] { return closing_ || !worker.regions.empty(); });
      if (worker.regions.empty()) return;
      region = worker.regions.front();
      worker.regions.pop_front();
    }
    // After a failure the rest is only drained: Finish reports the first.
    if (worker.failure.empty()) Sum(worker, region);
  }
}

void OutputChecksums::Sum(Worker& worker, const Region& region) {
  std::vector<uint8_t>& buffer = worker.buffer;
  PackageChecksum& sum = sums_[region.entry];
  for (uint64_t done = 0; done < region.length;) {
    size_t count = static_cast<size_t>(std::min<uint64_t>(region.length - done, buffer.size()));
    ssize_t got = ::pread(out_, buffer.data(), count, static_cast<off_t>(region.position + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      worker.failure = outPath_ + ": cannot read back what was written: " +
                       (got < 0 ? std::strerror(errno) : "the file is shorter");
      return;
    }
    AddToChecksum(&sum, buffer.data(), static_cast<uint32_t>(got));
    done += static_cast<uint64_t>(got);
  }
}

}  // namespace packwriter
