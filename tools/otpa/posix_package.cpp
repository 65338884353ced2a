#include "tools/otpa/posix_package.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <utility>

#include "engine/byte_io.h"
#include "platform/posix/embedded_resources.h"

namespace {

namespace layout = platform::embedded_package;

// A type name as the generator writes it: upper-case letters, digits and
// "_", then NUL bytes to the field's end.
bool ReadTypeName(const uint8_t* field, std::string* name) {
  size_t length = 0;
  while (length < layout::kEntryTypeSize && field[length] != 0) {
    const uint8_t c = field[length];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    ++length;
  }
  for (size_t k = length; k < layout::kEntryTypeSize; ++k) {
    if (field[k] != 0) return false;
  }
  name->assign(reinterpret_cast<const char*>(field), length);
  return length != 0;
}

// The package whose magic starts at `at`.
bool ReadPackageAt(const uint8_t* file, size_t size, size_t at, std::vector<PackageResource>* resources,
                   std::string* reason) {
  const uint8_t* package = file + at;
  uint32_t packageSize = 0;
  uint16_t count = 0;
  if (!otu::LoadU32(package, size - at, layout::kPackageSizeOffset, &packageSize) ||
      !otu::LoadU16(package, size - at, layout::kResourceCountOffset, &count)) {
    *reason = "its header runs past the end of the file";
    return false;
  }
  if (packageSize > size - at) {
    *reason = "it runs past the end of the file";
    return false;
  }
  if (count == 0) {
    *reason = "its index is empty";
    return false;
  }
  const size_t indexEnd = layout::kHeaderSize + layout::kEntrySize * count;
  if (indexEnd > packageSize) {
    *reason = "its index runs past its end";
    return false;
  }
  std::set<std::pair<std::string, uint16_t>> found;
  size_t next = indexEnd;
  for (size_t k = 0; k < count; ++k) {
    const uint8_t* entry = package + layout::kHeaderSize + layout::kEntrySize * k;
    const std::string which = "resource " + std::to_string(k + 1);
    PackageResource resource;
    if (!ReadTypeName(entry, &resource.type)) {
      *reason = which + " has no type name";
      return false;
    }
    uint32_t start = 0;
    otu::LoadU16(entry, layout::kEntrySize, layout::kEntryIdOffset, &resource.id);
    otu::LoadU32(entry, layout::kEntrySize, layout::kEntryStartOffset, &start);
    otu::LoadU32(entry, layout::kEntrySize, layout::kEntryLengthOffset, &resource.size);
    if (start != next) {
      *reason = which + " does not start where the one before it ends";
      return false;
    }
    if (!otu::RangeFits(start, resource.size, packageSize)) {
      *reason = which + " runs past the package's end";
      return false;
    }
    if (!found.insert({resource.type, resource.id}).second) {
      *reason = "it holds " + resource.type + " " + std::to_string(resource.id) + " twice";
      return false;
    }
    next = size_t{start} + resource.size;
    resource.offset = at + start;
    resources->push_back(resource);
  }
  if (next != packageSize) {
    *reason = "its resources do not fill it";
    return false;
  }
  return true;
}

}  // namespace

bool FindEmbeddedPackage(const uint8_t* file, size_t size, std::vector<PackageResource>* resources,
                         std::string* reason) {
  reason->clear();
  const uint8_t* const end = file + size;
  for (const uint8_t* at = file;; ++at) {
    at = std::search(at, end, std::begin(layout::kMagic), std::end(layout::kMagic));
    if (at == end) return false;
    std::vector<PackageResource> read;
    std::string why;
    if (ReadPackageAt(file, size, static_cast<size_t>(at - file), &read, &why)) {
      *resources = std::move(read);
      return true;
    }
    if (reason->empty()) *reason = why;
  }
}
