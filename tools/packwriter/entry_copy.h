// Moving entry data into the updater file being written, and checksumming
// it there. The copy is left to the kernel where it can do it, and the
// checksum runs on a thread of its own over what has landed in the output,
// so that packing costs little more than copying the files.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "package/checksum.h"

namespace packwriter {

// Copies the file at sourcePath, which must hold exactly length bytes, into
// out at position. Calls copied(bytes) after each piece, in order. Throws
// std::runtime_error when a step fails or the file is not length bytes long.
void CopyFileInto(const std::string& sourcePath, uint64_t length, int out, uint64_t position,
                  const std::string& outPath, const std::function<void(uint64_t bytes)>& copied);

// Checksums regions of the output file on threads of their own, each entry
// by one thread in the order its regions are handed over. What they sum is
// read back from the output, so every digest is that of the bytes written.
class OutputChecksums {
 public:
  OutputChecksums(int out, const std::string& outPath, size_t entryCount);
  ~OutputChecksums();
  OutputChecksums(const OutputChecksums&) = delete;
  OutputChecksums& operator=(const OutputChecksums&) = delete;

  // Queues length bytes of the output at position, the next bytes of entry.
  void Add(size_t entry, uint64_t position, uint64_t length);

  // Waits for every queued region and returns one checksum per entry.
  // Throws std::runtime_error when a region could not be read back.
  std::vector<PackageChecksum> Finish();

 private:
  struct Region {
    size_t entry;
    uint64_t position;
    uint64_t length;
  };
  // The queue is guarded by mutex_; the rest belongs to the thread until
  // it is joined.
  struct Worker {
    std::deque<Region> regions;
    uint64_t assigned = 0;  // bytes handed to it, for sharing out entries
    std::vector<uint8_t> buffer;
    std::string failure;
    std::thread thread;
  };

  void Run(Worker& worker);
  void Sum(Worker& worker, const Region& region);
  void Stop();

  int out_;
  std::string outPath_;
  std::vector<PackageChecksum> sums_;
  std::vector<size_t> workerOf_;  // per entry, once its first region came
  std::mutex mutex_;
  std::condition_variable queued_;
  bool closing_ = false;
  std::vector<Worker> workers_;  // last: its threads use everything above
};

}  // namespace packwriter
