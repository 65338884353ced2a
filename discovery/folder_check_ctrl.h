// The search controller: the targets that the embedded difference files
// revise, the walk of the fixed drives that finds installed fonts matching
// them, and the downloaded copies to remove after a successful revision.
#ifndef OTU_DISCOVERY_FOLDER_CHECK_CTRL_H_
#define OTU_DISCOVERY_FOLDER_CHECK_CTRL_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/res_file_ctrl.h"
#include "discovery/download_files.h"
#include "discovery/name_rules.h"
#include "discovery/search_progress.h"
#include "engine/target_lookup.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/resources.h"

// One installed font revision that a difference file revises.
struct CTargetEntry {
  char paFileName[260];      // the difference file, for messages
  char targetFileName[260];  // e.g. SampleGothicProN-Bold.otf
  char fontName[260];        // as the difference file states it
  char baseName[260];        // the target file name without extension
  int32_t expectedRevision;  // head fontRevision the installed font must carry
  int32_t resourceId;        // FONT_PA resource of the difference file
  // Set for an extended difference file, with the name record that fontName
  // is the text of and the installed font's sfnt version; classic files name
  // their fonts by the fifth name record, and have CFF outlines. Only
  // extended targets take ".ttf" files.
  bool extended;
  uint16_t identityNameId;
  uint32_t sfntVersion;
};

// An installed font that matched a target entry.
struct CCandidateRecord {
  char fullPath[1024];
  int32_t skip;  // nothing sets it; a non-zero flag makes the update pass over it
  int32_t expectedRevision;
  // The file the walk met at fullPath, as its listing names it (empty when
  // that could not be learned): the update revises that file or none.
  char identity[64];
};

constexpr size_t kFullPathSize = sizeof(CCandidateRecord::fullPath);

class CFolderCheckCtrl : public CTargetLookup {
 public:
  // The process-wide controller, its target list built from the process-wide
  // configuration on the first request.
  static CFolderCheckCtrl& Instance();
  // Destroys the process-wide controller; release it before the
  // configuration controller.
  static void Release();

  // A controller over the given system; the target list starts empty.
  CFolderCheckCtrl(platform::FileSystem& files, const platform::ResourceSource& resources,
                   platform::Folders& folders, const NameRules& rules);
  ~CFolderCheckCtrl() override;
  CFolderCheckCtrl(const CFolderCheckCtrl&) = delete;
  CFolderCheckCtrl& operator=(const CFolderCheckCtrl&) = delete;

  // One target entry per difference entry whose difference file header can
  // be read, in entry order; the program's language and download places
  // from the configuration too. Returns 1.
  int BuildTargetList(const CResFileCtrl& configuration);
  // The search texts' language and the download places of the program the
  // configuration describes (by default Japanese and Tavrelon's).
  void TakeProgram(const CUpdaterProgram& program);
  int BuildTargetList(const std::vector<CSabunEntry>& entries);

  // The first target entry whose name rule passes and whose font name and
  // revision the file at `fullPath` carries; null when none does.
  const CTargetEntry* MatchTarget(const char* fullPath, const char* fileName);
  // The first target entry for the file name of `path` and this revision,
  // without reading the file.
  const CTargetEntry* FindTarget(const char* path, int32_t expectedRevision) const;
  bool FindTargetResource(const char* path, int32_t expectedRevision, int32_t* resourceId) const override;

  void SearchDrives(SearchProgressCallbackFunc callback, void* context);
  // Told of each walk's start: ("drive", its root) or ("fonts folder", the
  // folder); for the run's log.
  void SetWalkReport(std::function<void(const char* kind, const std::string& root)> report) {
    walkReport_ = std::move(report);
  }
  // 1 = go on, 0 = stop (or no drive list).
  int ListFixedDrives(SearchProgressCallbackFunc callback, void* context);
  // 1 = done, 0 = stopped.
  int SearchFixedDrives(SearchProgressCallbackFunc callback, void* context);
  // Walks each fonts folder of the users and of the system like a drive
  // root, after the drives: 1 = done, 0 = stopped.
  int SearchFontFolders(SearchProgressCallbackFunc callback, void* context);
  // `folder` ends with the path separator; depth 0 is a drive root.
  // 1 = done, 0 = stopped.
  int SearchFolder(const std::string& folder, SearchProgressCallbackFunc callback, void* context,
                   int32_t depth);

  int32_t TargetCount() const { return static_cast<int32_t>(targets_.size()); }
  const CTargetEntry& Target(int32_t i) const { return *targets_[i]; }
  int32_t CandidateCount() const { return static_cast<int32_t>(candidates_.size()); }
  const CCandidateRecord& Candidate(int32_t i) const { return *candidates_[i]; }
  int32_t RemovalCount() const { return static_cast<int32_t>(removals_.size()); }
  const char* Removal(int32_t i) const { return removals_[i].c_str(); }
  // The file the walk met at Removal(i) (empty when it could not be
  // learned): only that file is deleted.
  const std::string& RemovalIdentity(int32_t i) const { return removalIdentities_[i]; }

  // Sub-folder entries met by every walk of this process so far.
  static uint32_t FolderCount();

 private:
  void AddTarget(const CSabunEntry& entry);
  // The base-name rule for `target`: extended targets take ".ttf" files too.
  bool TakesFileName(const CTargetEntry& target, const char* path) const;
  // The walk's handling of one file of `folder`.
  void ExamineFile(const std::string& folder, const std::string& name, platform::FolderListing& listing);

  platform::FileSystem& files_;
  const platform::ResourceSource& resources_;
  platform::Folders& folders_;
  NameRules rules_;

  std::vector<char> driveList_;
  std::map<size_t, int32_t> fixedDrives_;  // position in driveList_ -> drive type
  std::vector<std::unique_ptr<CCandidateRecord>> candidates_;
  std::vector<std::unique_ptr<CTargetEntry>> targets_;
  std::vector<std::string> removals_;
  std::vector<std::string> removalIdentities_;
  // Identities of the candidates' files: a file that folder links lead to
  // twice is one candidate, since a second update would apply the
  // difference to the revised font.
  std::set<std::string> candidateFiles_;
  std::function<void(const char*, const std::string&)> walkReport_;
  // Set when a target takes ".ttf" files: only then does the walk look at them.
  bool trueTypeNames_ = false;
  // Set while the fonts folders are walked: the drives' walk passed through
  // most of them already.
  bool walkingFontFolders_ = false;
  int32_t collectDownloadFiles_ = 1;
  text::Language language_ = text::Language::kJapanese;
  DownloadPlaces downloads_ = DefaultDownloadPlaces();
};

#endif  // OTU_DISCOVERY_FOLDER_CHECK_CTRL_H_
