#include "engine/update_progress.h"

#include <cstring>

#include "platform/text_encoding.h"
#include "text/paths.h"

namespace progress_text {
namespace {

struct Translation {
  const char* japanese;
  const char* english;
};

const Translation kTranslations[] = {
    {kFile, "Updating %s"},
    {kOpening, "Opening %s"},
    {kReading, "Reading %s"},
    {kTagsRead, "Table data read"},
    {kWritingSerial, "Writing the serial number to %s"},
    {kRecalculatingChecksum, "Recalculating the checksums of %s"},
    {kCreating, "Creating %s"},
    {kCopyingFromTemp, "Copying the file from the temporary folder"},
};

}  // namespace

const char* InLanguage(const char* japanese, text::Language language) {
  if (language == text::Language::kJapanese) return japanese;
  for (const Translation& translation : kTranslations) {
    // By text, not by address: each source that includes the header has its
    // own copy of the constants.
    if (std::strcmp(translation.japanese, japanese) == 0) return translation.english;
  }
  return japanese;
}

}  // namespace progress_text

int32_t OverallPercent(int32_t p, int32_t n, int32_t i) {
  if (n <= 0) return p;
  if (p < 90) return i * 100 / n + p / n;
  // volatile forces each quotient out of any wider register (x87) into a
  // genuine float before it is widened again.
  volatile float done = static_cast<float>(i * 100) / static_cast<float>(n);
  volatile float step = static_cast<float>(p) / static_cast<float>(n);
  double sum = static_cast<double>(done) + static_cast<double>(step);
  return static_cast<int32_t>(sum);
}

std::string BaseNameWithoutExtension(const std::string& path) {
  // Split character by character: in Shift-JIS the second byte of a Japanese
  // folder or file name can be the byte of "\\".
  return text::SplitPath(platform::SystemTextEncoding(), path).name;
}
