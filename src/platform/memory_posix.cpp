// Zero-filled blocks. Small blocks come from calloc; large ones from a fresh
// anonymous mapping (zero pages from the kernel, so nothing is written twice)
// with transparent huge pages requested, which makes the first touch of a
// large image several times cheaper than with 4 KiB pages.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <limits>

#include "platform/memory.h"

namespace platform {
namespace {

// Every block starts with this header; the caller's bytes follow it, aligned
// as malloc aligns (16 bytes).
struct alignas(16) BlockHeader {
  std::uint64_t magic;
  std::uint64_t mappedBytes;  // 0 for a calloc block
};
static_assert(sizeof(BlockHeader) == 16);

constexpr std::uint64_t kMagic = 0x70756c7365626c6bull;          // "pulseblk"
constexpr std::size_t kMappingThreshold = std::size_t{1} << 20;  // bytes

void* AllocMapped(std::size_t total) {
  void* base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(base, total, MADV_HUGEPAGE);  // advice only: failure is harmless
#endif
  static_cast<BlockHeader*>(base)->mappedBytes = total;
  return base;
}

}  // namespace

void* MemAlloc(std::size_t bytes) {
  if (bytes > std::numeric_limits<std::size_t>::max() - sizeof(BlockHeader)) return nullptr;
  const std::size_t total = sizeof(BlockHeader) + (bytes == 0 ? 1 : bytes);
  void* base = total >= kMappingThreshold ? AllocMapped(total) : std::calloc(1, total);
  if (base == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(base);
  header->magic = kMagic;
  return header + 1;
}

void MemFree(void* block) {
  if (block == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  const std::uint64_t mapped = header->mappedBytes;
  header->magic = 0;  // a second free of the same block is then easy to spot in a debugger
  if (mapped != 0) {
    munmap(header, mapped);
  } else {
    std::free(header);
  }
}

}  // namespace platform
