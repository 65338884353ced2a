// The package an updater program carries (its configuration, resource
// INIFILE 2000, and the FONT_PA difference files it names), read from the
// program's file: the Windows program's PE resources or the embedded package
// of the POSIX program.
#ifndef OTU_TOOLS_OTPA_PROGRAM_PACKAGE_H_
#define OTU_TOOLS_OTPA_PROGRAM_PACKAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "platform/text_encoding.h"

// One resource of a program: where its bytes lie in the program's file.
struct PackageResource {
  std::string type;  // upper case: "INIFILE", "FONT_PA"
  uint16_t id = 0;
  size_t offset = 0;
  uint32_t size = 0;
};

class ProgramPackage : public platform::ResourceSource {
 public:
  enum class Read { kRead, kNotAProgram, kBroken };

  // Reads the package of the program in `file`, which must outlive this
  // object. kNotAProgram when the bytes are no program that could carry one;
  // kBroken, with a one-line reason, when they are a program whose package
  // cannot be read or that carries none.
  Read ReadFrom(const std::vector<uint8_t>& file, std::string* reason);

  bool Find(const char* type, uint16_t id, platform::ResourceBytes* out) const override;

  // "Windows program (PE32)", "POSIX program".
  const std::string& description() const { return description_; }
  // How the program reads its configuration: Shift-JIS on Windows (the
  // resource script stores it so), UTF-8 in the POSIX program.
  platform::TextEncoding encoding() const { return encoding_; }
  const std::vector<PackageResource>& resources() const { return resources_; }
  // Text of the program's encoding in UTF-8, each byte that starts no
  // character of it as U+FFFD.
  std::string ToUtf8(const uint8_t* bytes, size_t size) const;
  std::string ToUtf8(const std::string& text) const {
    return ToUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

 private:
  const std::vector<uint8_t>* file_ = nullptr;
  std::string description_;
  platform::TextEncoding encoding_ = platform::TextEncoding::kUtf8;
  std::vector<PackageResource> resources_;
};

#endif  // OTU_TOOLS_OTPA_PROGRAM_PACKAGE_H_
