#include "tools/otpa/program_package.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "config/res_file_ctrl.h"
#include "tools/otpa/pe_resources.h"
#include "tools/otpa/posix_package.h"

namespace {

bool StartsWith(const std::vector<uint8_t>& file, const char* magic, size_t length) {
  return file.size() >= length && std::memcmp(file.data(), magic, length) == 0;
}

// `bytes` of the character set `from` as UTF-8; each byte that starts no
// character of it becomes U+FFFD.
std::string ConvertToUtf8(const char* from, const uint8_t* bytes, size_t size) {
  constexpr char kReplacement[] = "\xEF\xBF\xBD";
  std::string text;
  iconv_t convert = iconv_open("UTF-8", from);
  if (convert == reinterpret_cast<iconv_t>(-1)) {
    // Without the system's converter, ASCII is all that can be told.
    for (size_t k = 0; k < size; ++k) {
      if (bytes[k] < 0x80) {
        text += static_cast<char>(bytes[k]);
      } else {
        text += kReplacement;
      }
    }
    return text;
  }
  char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
  size_t left = size;
  char chunk[4096];
  while (left > 0) {
    char* out = chunk;
    size_t room = sizeof chunk;
    const size_t converted = iconv(convert, &in, &left, &out, &room);
    text.append(chunk, static_cast<size_t>(out - chunk));
    if (converted == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that is no character, or a character cut off at the end.
      text += kReplacement;
      ++in;
      --left;
      iconv(convert, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(convert);
  return text;
}

}  // namespace

ProgramPackage::Read ProgramPackage::ReadFrom(const std::vector<uint8_t>& file, std::string* reason) {
  file_ = &file;
  resources_.clear();
  std::string why;
  if (StartsWith(file, "MZ", 2)) {
    std::string format;
    if (!ReadPeResources(file.data(), file.size(), &resources_, &format, &why)) {
      *reason = "a Windows program whose resources cannot be read: " + why;
      return Read::kBroken;
    }
    description_ = "Windows program (" + format + ")";
    // The resource script stores the configuration in Shift-JIS, as the
    // program reads it on a Japanese system.
    encoding_ = platform::TextEncoding::kShiftJis;
  } else if (FindEmbeddedPackage(file.data(), file.size(), &resources_, &why)) {
    description_ = "POSIX program";
    encoding_ = platform::TextEncoding::kUtf8;
  } else if (!why.empty()) {
    // The magic also lies in programs that only look for it, as otpa does.
    *reason = "the updater package its magic announces is not sound: " + why;
    return Read::kBroken;
  } else if (StartsWith(file, "\x7F" "ELF", 4)) {
    *reason = "a program that carries no updater package";
    return Read::kBroken;
  } else {
    return Read::kNotAProgram;
  }
  platform::ResourceBytes configuration;
  if (!Find(CResFileCtrl::kConfigurationType, CResFileCtrl::kConfigurationId, &configuration)) {
    *reason = "a " + description_ + " that carries no updater package (no configuration, " +
              CResFileCtrl::kConfigurationType + " " + std::to_string(CResFileCtrl::kConfigurationId) + ")";
    return Read::kBroken;
  }
  return Read::kRead;
}

bool ProgramPackage::Find(const char* type, uint16_t id, platform::ResourceBytes* out) const {
  for (const PackageResource& resource : resources_) {
    if (resource.id == id && resource.type == type) {
      out->data = file_->data() + resource.offset;
      out->size = resource.size;
      return true;
    }
  }
  return false;
}

std::string ProgramPackage::ToUtf8(const uint8_t* bytes, size_t size) const {
  return ConvertToUtf8(encoding_ == platform::TextEncoding::kShiftJis ? "CP932" : "UTF-8", bytes, size);
}
