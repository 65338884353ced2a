// The configuration controller: reads the embedded configuration (resource
// "INIFILE" 2000), lists the difference files it declares and gives the
// start dialog's text. One instance per process.
#ifndef OTU_CONFIG_RES_FILE_CTRL_H_
#define OTU_CONFIG_RES_FILE_CTRL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "config/ini_document.h"
#include "platform/resources.h"
#include "platform/text_encoding.h"
#include "text/language.h"

// One difference file the configuration declares.
struct CSabunEntry {
  char targetFileName[260];  // base name + ".otf": the installed file it revises
  int32_t resourceId;        // its FONT_PA resource, found and non-empty when loaded
  char paFileName[260];      // the FONT_PAFILE value as configured (names it in messages)
};

// What the configuration's [UPDATER_PROGRAM] section says of the program a
// maker built from it. Without the section the program is Tavrelon's, with
// the title, texts and download places it was written with.
struct CUpdaterProgram {
  bool present = false;
  std::string title;
  text::Language language = text::Language::kJapanese;
  // The delivery software's download folders, each written with '\' around
  // its folder names ("\Maker\Download\"), and its file names.
  std::vector<std::string> downloadFolders;
  std::vector<std::string> downloadFiles;
};

class CResFileCtrl {
 public:
  static constexpr char kConfigurationType[] = "INIFILE";
  static constexpr uint16_t kConfigurationId = 2000;

  // The process-wide instance over the program's own resources, loaded on the
  // first request. Programs that call it link a resource library.
  static CResFileCtrl& Instance();
  // Clears and destroys the instance; the next request loads anew.
  static void Release();

  CResFileCtrl(const platform::ResourceSource& resources, platform::TextEncoding encoding);
  virtual ~CResFileCtrl() = default;
  CResFileCtrl(const CResFileCtrl&) = delete;
  CResFileCtrl& operator=(const CResFileCtrl&) = delete;

  // Reads the configuration and makes the entries 1, 2, ... up to the first
  // one that is missing or unusable. Never reports: a short list shows in
  // LoadedCount() < DeclaredCount().
  void LoadConfiguration();
  // The start dialog's text: the title paragraph, a blank line, then each
  // list line ended by "\n". Empty without a title or a list count.
  std::string GetStartText() const;
  // Drops the entries and the configuration read. The declared count and
  // the program's description stay.
  void Clear();

  // The [UPDATER_PROGRAM] section as LoadConfiguration() read it.
  const CUpdaterProgram& Program() const { return program_; }

  // MAXNUM of UPDATE_FONT as converted; 0 without a usable configuration.
  int32_t DeclaredCount() const { return declaredCount_; }
  int32_t LoadedCount() const { return static_cast<int32_t>(entries_.size()); }
  // Entry i, 0 <= i < LoadedCount().
  const CSabunEntry& Entry(int32_t i) const { return entries_[static_cast<size_t>(i)]; }

 private:
  bool LoadEntry(int32_t n);
  void LoadProgram();

  const platform::ResourceSource& resources_;
  platform::TextEncoding encoding_;
  config::IniDocument configuration_;
  std::vector<CSabunEntry> entries_;
  int32_t declaredCount_ = 0;
  CUpdaterProgram program_;
};

#endif  // OTU_CONFIG_RES_FILE_CTRL_H_
