// The search half of the search controller: the drive list, the walk of the
// fixed drives and of the fonts folders.
#include <cstdio>
#include <cstring>

#include "discovery/download_files.h"
#include "discovery/folder_check_ctrl.h"
#include "text/multibyte.h"

namespace {

// Sub-folder entries met by the walks of this process; never reset, so the
// count runs on across drives.
uint32_t folderCounter = 0;

// The wait window is told only at every 20th sub-folder, so that the display
// does not dominate the walk.
constexpr uint32_t kFolderReportInterval = 20;
// Folders down to six levels below a drive root are listed.
constexpr int32_t kDepthLimit = 7;
constexpr size_t kDriveListSize = 260;

// The search window's texts; %s: the drive's root or the folder.
struct SearchTexts {
  const char* drive;
  const char* folder;
};
const SearchTexts kJapaneseTexts = {"%sドライブを検索しました。", "%sを検索しています。"};
const SearchTexts kEnglishTexts = {"Searched drive %s", "Searching %s"};

const SearchTexts& TextsIn(text::Language language) {
  return language == text::Language::kEnglish ? kEnglishTexts : kJapaneseTexts;
}

std::string FormatText(const char* format, const char* argument) {
  int length = std::snprintf(nullptr, 0, format, argument);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(&text[0], text.size(), format, argument);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

uint32_t CFolderCheckCtrl::FolderCount() { return folderCounter; }

void CFolderCheckCtrl::SearchDrives(SearchProgressCallbackFunc callback, void* context) {
  if (ListFixedDrives(callback, context) == 0) return;
  if (SearchFixedDrives(callback, context) == 0) return;
  SearchFontFolders(callback, context);
}

int CFolderCheckCtrl::ListFixedDrives(SearchProgressCallbackFunc callback, void* context) {
  // One spare zero byte beyond what the system may fill keeps the walk over
  // the roots inside the buffer whatever it returns.
  driveList_.assign(kDriveListSize + 1, '\0');
  uint32_t length = folders_.DriveStrings(kDriveListSize, driveList_.data());
  if (length >= kDriveListSize) {
    // Roots that do not fit 260 bytes (many mount points): ask once more
    // with room for all of them.
    driveList_.assign(length + 2, '\0');
    length = folders_.DriveStrings(length + 1, driveList_.data());
    if (length + 1 >= driveList_.size()) return 0;
  }
  if (length == 0) return 0;
  for (size_t position = 0; driveList_[position] != '\0';) {
    const char* root = &driveList_[position];
    if (folders_.TypeOfDrive(root) == platform::kDriveFixed) fixedDrives_[position] = platform::kDriveFixed;
    if (callback(FormatText(TextsIn(language_).drive, root).c_str(), context) != 0) return 0;
    position += std::strlen(root) + 1;
  }
  return 1;
}

int CFolderCheckCtrl::SearchFixedDrives(SearchProgressCallbackFunc callback, void* context) {
  for (const auto& drive : fixedDrives_) {
    if (walkReport_) walkReport_("drive", &driveList_[drive.first]);
    if (SearchFolder(&driveList_[drive.first], callback, context, 0) == 0) return 0;
  }
  return 1;
}

int CFolderCheckCtrl::SearchFontFolders(SearchProgressCallbackFunc callback, void* context) {
  walkingFontFolders_ = true;
  int result = 1;
  for (const std::string& folder : folders_.FontFolders()) {
    if (walkReport_) walkReport_("fonts folder", folder);
    if (SearchFolder(folder, callback, context, 0) == 0) {
      result = 0;
      break;
    }
  }
  walkingFontFolders_ = false;
  return result;
}

int CFolderCheckCtrl::SearchFolder(const std::string& folder, SearchProgressCallbackFunc callback,
                                   void* context, int32_t depth) {
  if (depth + 1 > kDepthLimit) return 1;
  std::unique_ptr<platform::FolderListing> listing = folders_.List(folder);
  if (listing == nullptr) return 1;
  platform::FolderEntry entry;
  while (listing->Next(&entry)) {
    if (!entry.directory) {
      ExamineFile(folder, entry.name, *listing);
      continue;
    }
    if (entry.name == "." || entry.name == "..") continue;
    std::string subFolder = folder + entry.name + rules_.separator;
    ++folderCounter;
    if (folderCounter % kFolderReportInterval == 0 &&
        callback(FormatText(TextsIn(language_).folder, subFolder.c_str()).c_str(), context) != 0) {
      return 0;
    }
    if (folders_.IsOtherVolume(subFolder)) continue;
    if (SearchFolder(subFolder, callback, context, depth + 1) == 0) return 0;
  }
  return 1;
}

void CFolderCheckCtrl::ExamineFile(const std::string& folder, const std::string& name,
                                   platform::FolderListing& listing) {
  bool fontFile = text::FindText(name, ".otf", rules_.encoding) != std::string::npos ||
                  (trueTypeNames_ && text::FindText(name, ".ttf", rules_.encoding) != std::string::npos);
  bool downloadFile = collectDownloadFiles_ == 1 && IsDownloadFileName(name, downloads_);
  // The read-only bit may cost a look at the file: only names that matter
  // ask for it. A read-only file is never examined.
  if ((!fontFile && !downloadFile) || listing.ReadOnly()) return;
  std::string fullPath = folder + name;
  // A path that does not fit its record could only be kept cut, naming
  // another file.
  if (fullPath.size() >= kFullPathSize) return;
  if (fontFile) {
    const CTargetEntry* target = MatchTarget(fullPath.c_str(), name.c_str());
    std::string identity;
    bool identified = target != nullptr && listing.Identity(&identity);
    // In a fonts folder a file that cannot be told apart may be one the
    // drives' walk found already.
    bool seenBefore = identified ? !candidateFiles_.insert(identity).second : walkingFontFolders_;
    if (target != nullptr && !seenBefore) {
      auto candidate = std::make_unique<CCandidateRecord>();
      std::memset(candidate.get(), 0, sizeof(CCandidateRecord));
      std::memcpy(candidate->fullPath, fullPath.c_str(), fullPath.size() + 1);
      candidate->skip = 0;
      candidate->expectedRevision = target->expectedRevision;
      // The platforms' identities are a few dozen characters.
      if (identified && identity.size() < sizeof candidate->identity) {
        std::memcpy(candidate->identity, identity.c_str(), identity.size() + 1);
      }
      candidates_.push_back(std::move(candidate));
    }
  }
  if (downloadFile && InDownloadFolder(fullPath, rules_, downloads_)) {
    std::string identity;
    if (!listing.Identity(&identity)) identity.clear();
    removals_.push_back(fullPath);
    removalIdentities_.push_back(identity);
  }
}
