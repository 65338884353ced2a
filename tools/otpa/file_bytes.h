// Whole files for the otpa subcommands.
#ifndef OTU_TOOLS_OTPA_FILE_BYTES_H_
#define OTU_TOOLS_OTPA_FILE_BYTES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/font_model.h"
#include "platform/resources.h"

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);

// One difference file as the only resource of its type: read whole into
// image memory, which is not zero-filled first (a vector's would be, a pass
// and a fault per small page over megabytes before the read fills them).
class FileResource : public platform::ResourceSource {
 public:
  FileResource(const char* type, uint16_t id) : type_(type), id_(id) {}
  // False when the file cannot be read.
  bool Read(const std::string& path);
  bool Find(const char* type, uint16_t id, platform::ResourceBytes* out) const override;

 private:
  std::string type_;
  uint16_t id_;
  ByteBuffer bytes_;
  size_t size_ = 0;
};

bool WriteFileBytes(const std::string& path, const uint8_t* bytes, size_t size);
// What an update result code means, in a few words.
const char* ResultMeaning(int32_t result);

#endif  // OTU_TOOLS_OTPA_FILE_BYTES_H_
