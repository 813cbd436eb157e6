// Entry blocks on Windows: the C runtime's heap, which takes blocks of this
// size straight from VirtualAlloc.
#include <stdlib.h>

#include "platform/block.h"

void* AllocateBlock(uint32_t size) { return malloc(size == 0 ? 1 : size); }

void FreeBlock(void* block, uint32_t) { free(block); }
