#include "platform/resources.h"
#include "platform/string_table.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

class ModuleResources : public ResourceSource {
 public:
  bool Find(const char* type, uint16_t id, ResourceBytes* out) const override {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (info == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, info);
    if (loaded == nullptr) return false;
    const void* bytes = LockResource(loaded);
    if (bytes == nullptr) return false;
    out->data = static_cast<const uint8_t*>(bytes);
    out->size = SizeofResource(module, info);
    return true;
  }
};

}  // namespace

const ResourceSource& ProgramResources() {
  static const ModuleResources resources;
  return resources;
}

bool LoadResourceString(uint16_t id, std::string* out) {
  // A zero buffer size asks for a pointer to the text inside the resource,
  // so no length limit applies.
  const wchar_t* text = nullptr;
  int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return false;
  int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  std::vector<char> converted(static_cast<size_t>(size));
  if (WideCharToMultiByte(CP_ACP, 0, text, length, converted.data(), size, nullptr, nullptr) != size)
    return false;
  out->assign(converted.data(), converted.size());
  return true;
}

}  // namespace platform
