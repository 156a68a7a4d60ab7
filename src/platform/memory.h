// Memory service: zero-filled blocks.
//
// Threads: any thread. A block may be freed on another thread than the one
// that allocated it.
#pragma once

#include <cstddef>

namespace platform {

// A zero-filled block of `bytes` bytes (0 gives a valid 1-byte block), or
// nullptr when the memory cannot be had. Large blocks come from fresh
// mappings backed by huge pages where the kernel allows.
void* MemAlloc(std::size_t bytes);

// Frees a block from MemAlloc. nullptr is ignored.
void MemFree(void* block);

}  // namespace platform
