#include "config/res_file_ctrl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "text/multibyte.h"
#include "text/paths.h"

namespace {

const char kFontSection[] = "UPDATE_FONT";
const char kStartSection[] = "UPDATE_STARTDLG_STRING";
const char kDifferenceType[] = "FONT_PA";
const char kProgramSection[] = "UPDATER_PROGRAM";

// Buffer sizes of the reads: names and values, the start text's title, and
// the formed target file name.
constexpr size_t kValueSize = 255;
constexpr size_t kTitleSize = 1024;
constexpr size_t kTargetNameSize = 256;
constexpr int32_t kMaxStartLines = 1024;
// The download folders read, at most, and the slots of download file names.
constexpr int32_t kMaxDownloadFolders = 64;
constexpr int32_t kDownloadFileSlots = 8;

std::string NumberedKey(const char* prefix, int32_t n) {
  char key[kValueSize];
  std::snprintf(key, sizeof key, "%s%d", prefix, static_cast<int>(n));
  return key;
}

}  // namespace

CResFileCtrl::CResFileCtrl(const platform::ResourceSource& resources,
                           platform::TextEncoding encoding)
    : resources_(resources), encoding_(encoding) {}

void CResFileCtrl::LoadConfiguration() {
  entries_.clear();
  declaredCount_ = 0;
  configuration_ = config::IniDocument();
  program_ = CUpdaterProgram();
  platform::ResourceBytes bytes;
  if (!resources_.Find(kConfigurationType, kConfigurationId, &bytes)) return;
  configuration_ = config::IniDocument(encoding_, bytes.data, bytes.size);
  LoadProgram();

  std::string declared = configuration_.Text(kFontSection, "MAXNUM", kValueSize);
  if (declared.empty()) return;
  declaredCount_ = config::LeadingDecimal(declared);
  for (int32_t n = 1; n <= declaredCount_; ++n) {
    if (!LoadEntry(n)) return;
  }
}

bool CResFileCtrl::LoadEntry(int32_t n) {
  std::string paFile = configuration_.Text(kFontSection, NumberedKey("FONT_PAFILE", n).c_str(),
                                           kValueSize);
  if (paFile.empty()) return false;
  std::string baseName = text::SplitPath(encoding_, paFile).name;
  size_t underscore = text::FindChar(encoding_, baseName, '_');
  if (underscore != std::string::npos) baseName.erase(underscore);
  // The target name is formed in a 256-byte buffer: a longer one cannot name
  // an installed font.
  std::string targetName = baseName + ".otf";
  if (targetName.size() >= kTargetNameSize) return false;

  // Resource ids are 16 bits. A missing key reads as -1, which must not end
  // up asking for id 65535.
  int32_t resourceId =
      configuration_.Integer(kFontSection, NumberedKey("FONT_RESNUM", n).c_str(), -1);
  if (resourceId < 1 || resourceId > 0xFFFF) return false;
  platform::ResourceBytes difference;
  if (!resources_.Find(kDifferenceType, static_cast<uint16_t>(resourceId), &difference) ||
      difference.size == 0) {
    return false;
  }

  CSabunEntry entry = {};
  std::memcpy(entry.targetFileName, targetName.c_str(), targetName.size() + 1);
  entry.resourceId = resourceId;
  std::memcpy(entry.paFileName, paFile.c_str(), paFile.size() + 1);
  entries_.push_back(entry);
  return true;
}

void CResFileCtrl::LoadProgram() {
  program_ = CUpdaterProgram();
  if (!configuration_.HasSection(kProgramSection)) return;
  program_.present = true;
  program_.title = configuration_.Text(kProgramSection, "TITLE", kValueSize);
  std::string language = configuration_.Text(kProgramSection, "LANGUAGE", kValueSize);
  if (language == "en" || language == "EN") program_.language = text::Language::kEnglish;
  for (int32_t n = 1; n <= kMaxDownloadFolders; ++n) {
    std::string folder = configuration_.Text(kProgramSection, NumberedKey("DOWNLOAD_FOLDER", n).c_str(), kValueSize);
    if (folder.empty()) break;
    program_.downloadFolders.push_back(folder);
  }
  for (int32_t n = 1; n <= kDownloadFileSlots; ++n) {
    std::string name = configuration_.Text(kProgramSection, NumberedKey("DOWNLOAD_FILE", n).c_str(), kValueSize);
    if (!name.empty()) program_.downloadFiles.push_back(name);
  }
}

std::string CResFileCtrl::GetStartText() const {
  std::string title = configuration_.Text(kStartSection, "MAIN_TEXTTITLE", kTitleSize);
  if (title.empty()) return std::string();
  std::string lineCount = configuration_.Text(kStartSection, "MAXNUM", kValueSize);
  if (lineCount.empty()) return std::string();
  std::string text = title + "\n\n";
  // Lines past the last key only add line breaks; a count no start dialog
  // could show (up to 2^31) must not grow the text without bound.
  int32_t lines = std::min(config::LeadingDecimal(lineCount), kMaxStartLines);
  for (int32_t i = 1; i <= lines; ++i) {
    text += configuration_.Text(kStartSection, NumberedKey("FONT_TEXTTITLE", i).c_str(),
                                kValueSize);
    text += '\n';
  }
  return text;
}

void CResFileCtrl::Clear() {
  entries_.clear();
  configuration_ = config::IniDocument();
}
