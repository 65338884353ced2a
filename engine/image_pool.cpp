#include "engine/image_pool.h"

#include <mutex>

#include "platform/image_memory.h"

namespace image_pool {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooling = false;  // a block kept would hide a use after its release
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooling = false;
#else
constexpr bool kPooling = true;
#endif
#else
constexpr bool kPooling = true;
#endif

// Smaller blocks come from the heap, which keeps them by itself. One update
// gives back four large blocks; more than that, or more bytes than two
// updates of the largest fonts hold, are not kept.
constexpr size_t kPooledFrom = size_t{1} << 20;
constexpr size_t kKeptBlocks = 4;
constexpr size_t kKeptBytes = size_t{48} << 20;

struct Kept {
  std::mutex lock;
  Block blocks[kKeptBlocks];
  size_t count = 0;
  size_t bytes = 0;
};

Kept& Pool() {
  static Kept* pool = new Kept;  // never destroyed: blocks may come back during exit
  return *pool;
}

Block Fresh(size_t size) {
  Block block;
  block.bytes = platform::AllocateImageMemory(size == 0 ? 1 : size);
  block.size = block.bytes != nullptr ? (size == 0 ? 1 : size) : 0;
  return block;
}

}  // namespace

Block Take(size_t size) {
  if (!kPooling || size < kPooledFrom) return Fresh(size);
  Kept& pool = Pool();
  {
    std::lock_guard<std::mutex> guard(pool.lock);
    // The smallest kept block that is large enough.
    size_t best = pool.count;
    for (size_t k = 0; k < pool.count; ++k) {
      if (pool.blocks[k].size >= size && (best == pool.count || pool.blocks[k].size < pool.blocks[best].size)) {
        best = k;
      }
    }
    if (best != pool.count) {
      Block block = pool.blocks[best];
      pool.blocks[best] = pool.blocks[--pool.count];
      pool.bytes -= block.size;
      return block;
    }
  }
  return Fresh(size);
}

void Give(Block block) {
  if (block.bytes == nullptr) return;
  if (kPooling && block.size >= kPooledFrom) {
    Kept& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.lock);
    if (pool.count < kKeptBlocks && pool.bytes + block.size <= kKeptBytes) {
      pool.blocks[pool.count++] = block;
      pool.bytes += block.size;
      return;
    }
  }
  platform::FreeImageMemory(block.bytes, block.size);
}

bool Pooling() { return kPooling; }

}  // namespace image_pool
