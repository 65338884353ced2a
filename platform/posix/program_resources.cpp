#include <cstring>

#include "platform/posix/embedded_resources.h"
#include "platform/resources.h"
#include "platform/string_table.h"

namespace platform {
namespace {

class EmbeddedResources : public ResourceSource {
 public:
  bool Find(const char* type, uint16_t id, ResourceBytes* out) const override {
    for (size_t i = 0; i < kEmbeddedResourceCount; ++i) {
      const EmbeddedResource& resource = kEmbeddedResources[i];
      if (resource.id == id && std::strcmp(resource.type, type) == 0) {
        out->data = resource.data;
        out->size = resource.size;
        return true;
      }
    }
    return false;
  }
};

}  // namespace

const ResourceSource& ProgramResources() {
  static const EmbeddedResources resources;
  return resources;
}

bool LoadResourceString(uint16_t id, std::string* out) {
  for (size_t i = 0; i < kEmbeddedStringCount; ++i) {
    if (kEmbeddedStrings[i].id == id && kEmbeddedStrings[i].text[0] != '\0') {
      *out = kEmbeddedStrings[i].text;
      return true;
    }
  }
  return false;
}

}  // namespace platform
