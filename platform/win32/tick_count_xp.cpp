// The C++ runtime of this tool chain (winpthreads, behind thread-safe statics
// and exception handling) imports GetTickCount64, which the kernel32 of
// Windows XP lacks: the loader would refuse to start the program there. This
// object, linked into the program itself, defines the import slot, so the
// reference is satisfied before the kernel32 import library is searched and
// no import is recorded. The slot's function uses the system's
// GetTickCount64 where it exists and the 32-bit count otherwise.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64() {
  using Function = ULONGLONG(WINAPI*)();
  FARPROC system = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64");
  if (system != nullptr) return reinterpret_cast<Function>(reinterpret_cast<void*>(system))();
  return GetTickCount();
}

}  // namespace

#if defined(__i386__)
extern "C" ULONGLONG(WINAPI* const otu_GetTickCount64_slot)() __asm__("__imp__GetTickCount64@0");
#else
extern "C" ULONGLONG(WINAPI* const otu_GetTickCount64_slot)() __asm__("__imp_GetTickCount64");
#endif
extern "C" ULONGLONG(WINAPI* const otu_GetTickCount64_slot)() = TickCount64;
