// Blocks that hold one package entry whole, from a few bytes to hundreds of
// megabytes. Each platform hands them out in the way that is quickest to
// fill for its memory system.
#pragma once

#include <stdint.h>

// A block of size bytes (a size of 0 gives a valid block too), or null when
// memory runs out.
void* AllocateBlock(uint32_t size);

// Gives back a block from AllocateBlock, with the size it was asked for.
// A null block is accepted.
void FreeBlock(void* block, uint32_t size);
