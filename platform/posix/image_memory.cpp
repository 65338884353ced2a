#include "platform/image_memory.h"

#include <sys/mman.h>

#include <new>

namespace platform {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kHeapOnly = true;  // the sanitizer checks bounds of heap blocks only
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kHeapOnly = true;
#else
constexpr bool kHeapOnly = false;
#endif
#else
constexpr bool kHeapOnly = false;
#endif

// Buffers from this size on are mapped whole, in large pages: one fault per
// 2 MB instead of 512. Smaller ones come from the heap.
constexpr size_t kMappedFrom = size_t{1} << 20;
constexpr size_t kLargePage = size_t{2} << 20;

bool Mapped(size_t size) { return !kHeapOnly && size >= kMappedFrom; }
size_t MappedLength(size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

uint8_t* AllocateImageMemory(size_t size) {
  if (!Mapped(size)) return new (std::nothrow) uint8_t[size == 0 ? 1 : size];
  if (size > SIZE_MAX - kLargePage) return nullptr;
  void* mapped = ::mmap(nullptr, MappedLength(size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  // Advice only: without large pages the memory works all the same.
  ::madvise(mapped, MappedLength(size), MADV_HUGEPAGE);
#endif
  return static_cast<uint8_t*>(mapped);
}

void FreeImageMemory(uint8_t* bytes, size_t size) {
  if (bytes == nullptr) return;
  if (!Mapped(size)) {
    delete[] bytes;
    return;
  }
  ::munmap(bytes, MappedLength(size));
}

}  // namespace platform
