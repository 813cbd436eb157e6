// Entry blocks over POSIX: an anonymous mapping of their own, backed by huge
// pages where the system offers them, and faulted in by the kernel in one
// go. Touched page by page instead, the first write to each fresh page costs
// a fault, and on some virtual machines that fault is slower than the disk.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/block.h"

namespace {

const size_t kHugePageSize = 2u << 20;

size_t BlockLength(uint32_t size) { return size == 0 ? 1 : size; }

// A mapping of length bytes that starts on a huge page boundary, so that
// every whole huge page of it can be one: the mapping is made larger and the
// ends beyond the aligned block are given back.
void* MapAligned(size_t length) {
  size_t span = length + kHugePageSize;
  void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
  uintptr_t block = (start + kHugePageSize - 1) & ~(uintptr_t{kHugePageSize} - 1);
  uintptr_t pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  uintptr_t blockEnd = (block + length + pageSize - 1) & ~(pageSize - 1);
  if (block > start) munmap(mapped, block - start);
  if (start + span > blockEnd) munmap(reinterpret_cast<void*>(blockEnd), start + span - blockEnd);
  return reinterpret_cast<void*>(block);
}

// AddressSanitizer watches the bounds of heap blocks but not of mappings.
#if defined(__SANITIZE_ADDRESS__)
const bool kFromHeap = true;
#else
const bool kFromHeap = false;
#endif

}  // namespace

void* AllocateBlock(uint32_t size) {
  size_t length = BlockLength(size);
  if (kFromHeap) return malloc(length);
  void* block;
  if (length >= kHugePageSize) {
    block = MapAligned(length);
    // A hint, like the one below: where the kernel refuses them, pages
    // fault in one by one on first use.
    if (block != nullptr) madvise(block, length, MADV_HUGEPAGE);
  } else {
    block = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) block = nullptr;
  }
  if (block == nullptr) return nullptr;
#ifdef MADV_POPULATE_WRITE
  madvise(block, length, MADV_POPULATE_WRITE);
#endif
  return block;
}

void FreeBlock(void* block, uint32_t size) {
  if (kFromHeap) {
    free(block);
  } else if (block != nullptr) {
    munmap(block, BlockLength(size));
  }
}
