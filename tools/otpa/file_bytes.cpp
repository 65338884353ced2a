#include "tools/otpa/file_bytes.h"

#include <cstdio>
#include <cstdint>
#include <fstream>
#include <memory>

#include "platform/file_system.h"

// Through the platform's files: a folder or an unreadable file is a failed
// read, never an exception.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  std::unique_ptr<platform::File> file = platform::HostFileSystem().OpenRead(path, platform::Share::kReadWrite);
  int64_t length = 0;
  if (file == nullptr || !file->Length(&length) || length < 0 || static_cast<uint64_t>(length) > SIZE_MAX) {
    return false;
  }
  bytes->resize(static_cast<size_t>(length));
  return file->Read(bytes->data(), bytes->size());
}

bool FileResource::Read(const std::string& path) {
  std::unique_ptr<platform::File> file = platform::HostFileSystem().OpenRead(path, platform::Share::kReadWrite);
  int64_t length = 0;
  // Resource sizes are 32-bit.
  if (file == nullptr || !file->Length(&length) || length < 0 || length > 0x7FFFFFFF) return false;
  size_ = static_cast<size_t>(length);
  // At least one byte, so that an empty file still has an address.
  return bytes_.Allocate(size_ + 1) && file->Read(bytes_.data(), size_);
}

bool FileResource::Find(const char* type, uint16_t id, platform::ResourceBytes* out) const {
  if (type_ != type || id != id_ || bytes_.data() == nullptr) return false;
  out->data = bytes_.data();
  out->size = static_cast<uint32_t>(size_);
  return true;
}

bool WriteFileBytes(const std::string& path, const uint8_t* bytes, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  out.close();
  if (out.fail()) {
    std::remove(path.c_str());
    return false;
  }
  return true;
}

const char* ResultMeaning(int32_t result) {
  switch (result) {
    case 0: return "revised";
    case 1: return "the font cannot be used with this difference file";
    case 6: return "stopped";
    case 7: return "the difference file cannot be loaded";
    case 8: return "the revised font has no name table";
    case 9: return "the revised font has no head table";
    case 10: return "copying over the installed font failed";
    case 11: return "the temporary file cannot be written";
    case 12: return "the replaced font cannot be read back";
    case 13: return "the replaced font differs from what was written";
    default: return "unknown result";
  }
}
