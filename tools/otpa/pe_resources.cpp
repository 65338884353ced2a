#include "tools/otpa/pe_resources.h"

#include <cstring>
#include <set>
#include <utility>

#include "engine/byte_io.h"

namespace {

// DOS header: where the PE signature lies.
constexpr size_t kPeOffsetField = 0x3C;
constexpr uint8_t kPeSignature[4] = {'P', 'E', 0, 0};
// COFF header, after the signature.
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionCountOffset = 2;
constexpr size_t kOptionalHeaderSizeOffset = 16;
// Optional header: its kind, and where each kind holds the number of data
// directories and the directories themselves.
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kPe32DirectoryCountOffset = 92;
constexpr size_t kPe32PlusDirectoryCountOffset = 108;
constexpr size_t kDataDirectorySize = 8;  // RVA, size
constexpr uint32_t kResourceDirectoryIndex = 2;
// Section header.
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSectionVirtualSizeOffset = 8;
constexpr size_t kSectionAddressOffset = 12;
constexpr size_t kSectionRawSizeOffset = 16;
constexpr size_t kSectionRawOffsetOffset = 20;
// Resource directory: a 16-byte header whose last two fields count the
// entries named by strings and those named by numbers, then 8-byte entries
// (name or id, target); the high bit marks a string name and a target that
// is a directory. A data entry starts with the data's RVA and size.
constexpr size_t kNamedCountOffset = 12;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDataEntrySize = 16;

struct Section {
  uint32_t address = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

struct Entry {
  uint32_t name = 0;
  uint32_t target = 0;
};

// The file offset where [rva, rva + length) lies, when one section's bytes
// in the file hold all of it: its raw data, no more than its size in memory.
bool MapAddress(const std::vector<Section>& sections, size_t fileSize, uint32_t rva, uint32_t length,
                size_t* offset) {
  for (const Section& section : sections) {
    const uint32_t held =
        section.virtualSize != 0 && section.virtualSize < section.rawSize ? section.virtualSize : section.rawSize;
    if (rva < section.address || !otu::RangeFits(rva - section.address, length, held)) continue;
    const uint64_t at = uint64_t{section.rawOffset} + (rva - section.address);
    if (!otu::RangeFits(at, length, fileSize)) return false;
    *offset = static_cast<size_t>(at);
    return true;
  }
  return false;
}

// The resource directory's bytes and the walk through them.
class ResourceTree {
 public:
  ResourceTree(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  // The entries of the directory at `at`. Each directory is read once: a
  // tree that leads to one twice is refused, so that the walk takes at most
  // as many steps as the tree has bytes.
  bool Directory(uint32_t at, std::vector<Entry>* entries, std::string* reason) {
    uint16_t named = 0, numbered = 0;
    if (!otu::LoadU16Le(bytes_, size_, size_t{at} + kNamedCountOffset, &named) ||
        !otu::LoadU16Le(bytes_, size_, size_t{at} + kNamedCountOffset + 2, &numbered)) {
      *reason = "a resource directory lies outside the resource section";
      return false;
    }
    const size_t count = size_t{named} + numbered;
    if (!otu::RangeFits(size_t{at} + kDirectoryHeaderSize, count * kDirectoryEntrySize, size_)) {
      *reason = "a resource directory's entries run past the resource section";
      return false;
    }
    if (!read_.insert(at).second) {
      *reason = "the resource tree leads to one directory twice";
      return false;
    }
    entries->clear();
    for (size_t k = 0; k < count; ++k) {
      const size_t entry = size_t{at} + kDirectoryHeaderSize + kDirectoryEntrySize * k;
      Entry read;
      otu::LoadU32Le(bytes_, size_, entry, &read.name);
      otu::LoadU32Le(bytes_, size_, entry + 4, &read.target);
      entries->push_back(read);
    }
    return true;
  }

  // A string name (UTF-16, counted) in upper case, `*ascii` when it holds
  // nothing but ASCII; false when it does not fit.
  bool Name(uint32_t at, std::string* name, bool* ascii) const {
    uint16_t length = 0;
    if (!otu::LoadU16Le(bytes_, size_, at, &length) || !otu::RangeFits(size_t{at} + 2, size_t{length} * 2, size_)) {
      return false;
    }
    name->clear();
    *ascii = true;
    for (size_t k = 0; k < length; ++k) {
      uint16_t c = 0;
      otu::LoadU16Le(bytes_, size_, size_t{at} + 2 + 2 * k, &c);
      *ascii &= c != 0 && c < 0x80;
      name->push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    return true;
  }

  bool DataEntry(uint32_t at, uint32_t* rva, uint32_t* length) const {
    return otu::RangeFits(at, kDataEntrySize, size_) && otu::LoadU32Le(bytes_, size_, at, rva) &&
           otu::LoadU32Le(bytes_, size_, size_t{at} + 4, length);
  }

 private:
  const uint8_t* bytes_;
  size_t size_;
  std::set<uint32_t> read_;
};

// The section table and where the resource directory lies in the file.
bool ReadHeaders(const uint8_t* file, size_t size, std::vector<Section>* sections, uint32_t* resourceRva,
                 uint32_t* resourceSize, std::string* format, std::string* reason) {
  uint32_t pe = 0;
  if (!otu::LoadU32Le(file, size, kPeOffsetField, &pe) || !otu::RangeFits(pe, sizeof kPeSignature, size) ||
      std::memcmp(file + pe, kPeSignature, sizeof kPeSignature) != 0) {
    *reason = "no PE signature where its DOS header points";
    return false;
  }
  const size_t coff = size_t{pe} + sizeof kPeSignature;
  const size_t optional = coff + kCoffHeaderSize;
  uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
  if (!otu::LoadU16Le(file, size, coff + kSectionCountOffset, &sectionCount) ||
      !otu::LoadU16Le(file, size, coff + kOptionalHeaderSizeOffset, &optionalSize) ||
      !otu::RangeFits(optional, optionalSize, size) || !otu::LoadU16Le(file, size, optional, &magic)) {
    *reason = "its PE headers run past the end of the file";
    return false;
  }
  size_t countOffset = 0;
  if (magic == kPe32Magic) {
    *format = "PE32";
    countOffset = kPe32DirectoryCountOffset;
  } else if (magic == kPe32PlusMagic) {
    *format = "PE32+";
    countOffset = kPe32PlusDirectoryCountOffset;
  } else {
    *reason = "its optional header is neither PE32 nor PE32+";
    return false;
  }
  // Fields past the optional header's stated size are not its own.
  const uint8_t* header = file + optional;
  uint32_t directoryCount = 0;
  const size_t resourceEntry = countOffset + 4 + kDataDirectorySize * kResourceDirectoryIndex;
  if (!otu::LoadU32Le(header, optionalSize, countOffset, &directoryCount) ||
      directoryCount <= kResourceDirectoryIndex || !otu::LoadU32Le(header, optionalSize, resourceEntry, resourceRva) ||
      !otu::LoadU32Le(header, optionalSize, resourceEntry + 4, resourceSize) || *resourceRva == 0 ||
      *resourceSize == 0) {
    *reason = "it has no resources";
    return false;
  }
  const size_t table = optional + optionalSize;
  if (!otu::RangeFits(table, size_t{sectionCount} * kSectionHeaderSize, size)) {
    *reason = "its section table runs past the end of the file";
    return false;
  }
  for (size_t k = 0; k < sectionCount; ++k) {
    const size_t at = table + kSectionHeaderSize * k;
    Section section;
    otu::LoadU32Le(file, size, at + kSectionVirtualSizeOffset, &section.virtualSize);
    otu::LoadU32Le(file, size, at + kSectionAddressOffset, &section.address);
    otu::LoadU32Le(file, size, at + kSectionRawSizeOffset, &section.rawSize);
    otu::LoadU32Le(file, size, at + kSectionRawOffsetOffset, &section.rawOffset);
    sections->push_back(section);
  }
  return true;
}

}  // namespace

bool ReadPeResources(const uint8_t* file, size_t size, std::vector<PackageResource>* resources,
                     std::string* format, std::string* reason) {
  std::vector<Section> sections;
  uint32_t rva = 0, treeSize = 0;
  if (!ReadHeaders(file, size, &sections, &rva, &treeSize, format, reason)) return false;
  size_t treeOffset = 0;
  if (!MapAddress(sections, size, rva, treeSize, &treeOffset)) {
    *reason = "its resource directory lies outside the bytes of its sections";
    return false;
  }
  ResourceTree tree(file + treeOffset, treeSize);
  std::vector<Entry> types, names, languages;
  if (!tree.Directory(0, &types, reason)) return false;
  std::set<std::pair<std::string, uint16_t>> found;
  for (const Entry& type : types) {
    // Types named by number are the system's (icons, dialogs, strings...).
    if ((type.name & kHighBit) == 0) continue;
    std::string typeName;
    bool ascii = false;
    if (!tree.Name(type.name & ~kHighBit, &typeName, &ascii)) {
      *reason = "a resource type's name lies outside the resource section";
      return false;
    }
    // None of the package's types is named by more than ASCII.
    if (!ascii) continue;
    if ((type.target & kHighBit) == 0) {
      *reason = "resource type " + typeName + " leads to data, not to its resources";
      return false;
    }
    if (!tree.Directory(type.target & ~kHighBit, &names, reason)) return false;
    for (const Entry& name : names) {
      // The package's resources are named by 16-bit numbers.
      if ((name.name & kHighBit) != 0 || name.name > 0xFFFF) continue;
      const std::string what = "resource " + typeName + " " + std::to_string(name.name);
      if ((name.target & kHighBit) == 0) {
        *reason = what + " leads to data, not to its languages";
        return false;
      }
      if (!tree.Directory(name.target & ~kHighBit, &languages, reason)) return false;
      if (languages.empty() || (languages[0].target & kHighBit) != 0) {
        *reason = what + " has no data in its first language";
        return false;
      }
      uint32_t dataRva = 0, length = 0;
      size_t offset = 0;
      if (!tree.DataEntry(languages[0].target, &dataRva, &length)) {
        *reason = what + ": its data entry lies outside the resource section";
        return false;
      }
      if (!MapAddress(sections, size, dataRva, length, &offset)) {
        *reason = what + " lies outside the bytes of the program's sections";
        return false;
      }
      const uint16_t id = static_cast<uint16_t>(name.name);
      if (found.insert({typeName, id}).second) resources->push_back(PackageResource{typeName, id, offset, length});
    }
  }
  return true;
}
