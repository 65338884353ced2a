#include "platform/image_memory.h"

#include <new>

namespace platform {

// The process heap maps blocks this large from the system by itself; large
// pages would need a privilege the program does not ask for.
uint8_t* AllocateImageMemory(size_t size) { return new (std::nothrow) uint8_t[size == 0 ? 1 : size]; }

void FreeImageMemory(uint8_t* bytes, size_t) { delete[] bytes; }

}  // namespace platform
