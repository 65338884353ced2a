// The resource set compiled into a POSIX program. A resource library made by
// otu_resource_library() (resources/CMakeLists.txt) defines these tables from
// a package folder and the string table; each program links exactly one.
#ifndef OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_
#define OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_

#include <cstddef>
#include <cstdint>

namespace platform {

struct EmbeddedResource {
  const char* type;
  uint16_t id;
  const uint8_t* data;
  uint32_t size;
};

struct EmbeddedString {
  uint16_t id;
  const char* text;  // UTF-8
};

extern const EmbeddedResource kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;
extern const EmbeddedString kEmbeddedStrings[];
extern const size_t kEmbeddedStringCount;

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_
