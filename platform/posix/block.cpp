// Entry blocks over POSIX: an anonymous mapping of their own, backed by huge
// pages where the system offers them, and faulted in by the kernel in one
// go. Touched page by page instead, the first write to each fresh page costs
// a fault, and on some virtual machines that fault is slower than the disk.
#include <stddef.h>
#include <stdlib.h>
#include <sys/mman.h>

#include "platform/block.h"

namespace {

const size_t kHugePageSize = 2u << 20;

size_t BlockLength(uint32_t size) { return size == 0 ? 1 : size; }

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
  void* block = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  // Both are hints: where the kernel refuses them, pages fault in on first use.
  if (length >= kHugePageSize) madvise(block, length, MADV_HUGEPAGE);
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
