// Image memory that one font's update gave back, kept for the next one.
//
// An update holds megabytes at a time (the installed image, the new image,
// the run arrays of the difference data) and gives them all back when its
// manager goes. Memory the process has not used before costs the system a
// fault and a zero fill per page on first use, more than the rebuild spends
// on the bytes themselves; a process that revises several fonts in turn (the
// updater, the benchmarks) takes the next font's blocks from the last one's.
#ifndef OTU_ENGINE_IMAGE_POOL_H_
#define OTU_ENGINE_IMAGE_POOL_H_

#include <cstddef>
#include <cstdint>

namespace image_pool {

struct Block {
  uint8_t* bytes = nullptr;
  size_t size = 0;  // what the block holds, at least what was asked for
};

// A block of at least `size` bytes (at least 1), whose bytes are undefined;
// bytes null when the memory cannot be had.
Block Take(size_t size);
// Gives back a block Take returned; a null one is ignored.
void Give(Block block);
// False in builds with the address sanitizer: there every block goes back to
// the system at once, so that a use after its release is still caught.
bool Pooling();

}  // namespace image_pool

#endif  // OTU_ENGINE_IMAGE_POOL_H_
