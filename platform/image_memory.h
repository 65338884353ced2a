// Memory for whole font images, megabytes at a time. Every update takes
// fresh memory for the installed and the new image, and on a system that
// hands it out in small pages, faulting those in costs more than filling
// them: the POSIX side asks for large pages where the system grants them.
#ifndef OTU_PLATFORM_IMAGE_MEMORY_H_
#define OTU_PLATFORM_IMAGE_MEMORY_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// `size` bytes (at least 1) whose values are undefined, or null when the
// memory cannot be had.
uint8_t* AllocateImageMemory(size_t size);
// Gives back what AllocateImageMemory(size) returned; null is ignored.
void FreeImageMemory(uint8_t* bytes, size_t size);

}  // namespace platform

#endif  // OTU_PLATFORM_IMAGE_MEMORY_H_
