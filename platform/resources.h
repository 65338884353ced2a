// Resources carried by the program: the configuration (type "INIFILE") and the
// difference files (type "FONT_PA"), found by string type and numeric id.
#ifndef OTU_PLATFORM_RESOURCES_H_
#define OTU_PLATFORM_RESOURCES_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct ResourceBytes {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

class ResourceSource {
 public:
  virtual ~ResourceSource() = default;
  // Finds, loads and locks resource `id` of type `type`. False when any of the
  // three steps fails. The bytes stay valid as long as the source lives.
  virtual bool Find(const char* type, uint16_t id, ResourceBytes* out) const = 0;
};

// The resources embedded in the running program.
const ResourceSource& ProgramResources();

// A resource table held in memory: for tests and for the maker's tools, which
// apply difference files that come from disk.
class MemoryResources : public ResourceSource {
 public:
  void Add(const std::string& type, uint16_t id, std::vector<uint8_t> bytes) {
    table_[{type, id}] = std::move(bytes);
  }
  bool Find(const char* type, uint16_t id, ResourceBytes* out) const override {
    auto it = table_.find({type, id});
    if (it == table_.end()) return false;
    out->data = it->second.data();
    out->size = static_cast<uint32_t>(it->second.size());
    return true;
  }

 private:
  std::map<std::pair<std::string, uint16_t>, std::vector<uint8_t>> table_;
};

}  // namespace platform

#endif  // OTU_PLATFORM_RESOURCES_H_
