// The update driver's walk: reading the installed font, the temporary file,
// the replacement and its verification, and the font identity query.
#include "engine/opentype_manager.h"

#include <cstring>
#include <ctime>
#include <new>

#include "engine/byte_io.h"
#include "engine/head_table.h"
#include "text/format.h"
#include "text/multibyte.h"
#include "text/paths.h"

namespace {

// Names drawn for a temporary file before giving up: a clash with an existing
// file only costs another draw.
constexpr int kTemporaryNameAttempts = 16;
// Temporary paths live in fixed 260-byte buffers on the target system.
constexpr size_t kMaxTemporaryPath = 259;

}  // namespace

COpenTypeManager::COpenTypeManager(platform::FileSystem& files, const platform::ResourceSource& resources,
                                   const CTargetLookup* targets)
    : files_(files), resources_(resources), targets_(targets) {}

COpenTypeManager::~COpenTypeManager() { Reset(); }

void COpenTypeManager::PrepareFor(int32_t resourceId) {
  extended_ = CMakeSabunData(resources_).IsExtended(resourceId) == 1;
}

void COpenTypeManager::Reset() {
  installedImage_.Release();
  rebuilt_.clear();
  addedTables_.clear();
  tables_.clear();
  sabunData_.reset();
  newImage_.Release();
}

bool COpenTypeManager::Report(int32_t p, const char* stepFormat, const char* path, UpdateProgressFunc callback,
                              void* context, int32_t n, int32_t i) const {
  if (callback == nullptr) return false;
  std::string fileText = text::FormatText(progress_text::InLanguage(progress_text::kFile, language_), path);
  std::string stepText =
      text::FormatText(progress_text::InLanguage(stepFormat, language_), BaseNameWithoutExtension(path));
  return callback(OverallPercent(p, n, i), p, fileText.c_str(), stepText.c_str(), context) != 0;
}

std::unique_ptr<platform::File> COpenTypeManager::OpenFile(const char* path, platform::Share share) {
  const std::string name = NameInFolder(path);
  if (!name.empty()) return folder_->OpenRead(name, share);
  // The font's own path, whose folder could not be opened: no other way in.
  if (folder_ == nullptr && !updatePath_.empty() && updatePath_ == path) return nullptr;
  return files_.OpenRead(path, share);
}

std::string COpenTypeManager::NameInFolder(const std::string& path) const {
  if (folder_ == nullptr) return std::string();
  const std::string& folder = folder_->Path();
  if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return std::string();
  const std::string name = path.substr(folder.size());
  return name.find(platform::PathSeparator()) == std::string::npos ? name : std::string();
}

namespace {

// Reads the `length` bytes of `file` from where it stands into *image, with
// a spare byte past them that is part of the buffer, never of the file.
bool ReadAll(platform::File& file, int64_t length, ByteBuffer* image) {
  if (!image->Allocate(static_cast<size_t>(length) + 1)) return false;
  image->data()[length] = 0;
  return file.Read(image->data(), static_cast<size_t>(length));
}

}  // namespace

bool COpenTypeManager::ReadWholeFile(const char* path, platform::Share share, ByteBuffer* image,
                                     std::string* identity) {
  std::unique_ptr<platform::File> file = OpenFile(path, share);
  int64_t length = 0;
  if (file == nullptr || !file->Length(&length) || length <= 0 || length > kMaxFontFileSize ||
      !ReadAll(*file, length, image)) {
    return false;
  }
  if (identity != nullptr && !file->Identity(identity)) identity->clear();
  file->Close();
  return true;
}

int32_t COpenTypeManager::ReadFont(const char* path, UpdateProgressFunc callback, void* context, int32_t n,
                                   int32_t i) {
  Reset();
  // Reports 10 to 30 are made only for a caller that has a window to show them.
  UpdateProgressFunc reporter = context != nullptr ? callback : nullptr;
  // Others may read the font meanwhile (the system holds a loaded font open
  // for reading); nobody may write it.
  std::string identity;
  // A file other than the one the search met (swapped in since, or reached
  // through a link) is not revised.
  if (!ReadWholeFile(path, platform::Share::kRead, &installedImage_, &identity) ||
      (!expectedIdentity_.empty() && !identity.empty() && identity != expectedIdentity_)) {
    Reset();
    return kUpdateFontUnusable;
  }
  installedIdentity_ = identity;
  installedLength_ = static_cast<int32_t>(installedImage_.size() - 1);
  const size_t length = static_cast<size_t>(installedLength_);
  if (Report(10, progress_text::kOpening, path, reporter, context, n, i)) return kUpdateStopped;

  int32_t result = kUpdateOk;
  if (header_.ReadHeader(installedImage_.data(), length, extended_) == 0) {
    result = kUpdateFontUnusable;
  } else {
    if (Report(20, progress_text::kReading, path, reporter, context, n, i)) return kUpdateStopped;
    if (header_.state != 2 ||
        LoadTableDirectory(header_, installedImage_.data(), length, !extended_, &tables_) == 0) {
      return kUpdateFontUnusable;
    }
    // Any tag is taken for an extended file, but each only once: the rebuild
    // finds tables by their tags.
    for (size_t k = 0; extended_ && k < tables_.size(); ++k) {
      if (FindTag(tables_[k]->tagText) != tables_[k].get()) return kUpdateFontUnusable;
    }
  }
  if (Report(30, progress_text::kTagsRead, path, reporter, context, n, i)) return kUpdateStopped;
  for (size_t k = 0; k < tables_.size(); ++k) tables_[k]->index = static_cast<int32_t>(k);
  return result;
}

bool COpenTypeManager::DrawTemporaryPath(std::string* path) const {
  std::string folder;
  if (!files_.TempFolder(&folder)) return false;
  // The time and a number the platform draws (from the system's generator
  // where it has one): nobody can make the file beforehand.
  std::string drawn = folder + std::to_string(static_cast<long long>(std::time(nullptr))) +
                      std::to_string(files_.RandomNumber());
  if (drawn.size() > kMaxTemporaryPath) return false;
  *path = drawn;
  return true;
}

bool COpenTypeManager::WriteTemporaryFile(const uint8_t* bytes, size_t size, std::string* path, bool* created) {
  *created = false;
  std::unique_ptr<platform::File> file;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && file == nullptr; ++attempt) {
    if ((attempt > 0 || path->empty()) && !DrawTemporaryPath(path)) return false;
    file = files_.CreateExclusive(*path);
  }
  if (file == nullptr) return false;
  *created = true;
  bool written = file->Write(bytes, size);
  if (file->Close() && written) return true;
  files_.Remove(*path);
  *created = false;
  return false;
}

int32_t COpenTypeManager::BuildFont(const char* path, int32_t resourceId, std::string* temporaryPath,
                                    UpdateProgressFunc callback, void* context, int32_t n, int32_t i) {
  int32_t result = RebuildFont(path, resourceId, callback, context, n, i);
  if (result != kUpdateOk) return result;
  // A stop here is honoured only after the file is written: the caller then
  // removes it without installing it.
  if (Report(90, progress_text::kCreating, path, callback, context, n, i)) result = kUpdateStopped;
  if (!WriteTemporaryFile(newImage_.data(), newImageSize_, temporaryPath, &temporaryCreated_)) {
    return kUpdateTempFileFailed;
  }
  imageWordSum_ += finishedWordSum_;
  return result;
}

int32_t COpenTypeManager::VerifyFont(const char* path, uint32_t expectedWordSum) {
  ByteBuffer written;
  if (!ReadWholeFile(path, platform::Share::kReadWrite, &written)) return kUpdateReplacedUnreadable;
  size_t length = written.size() - 1;
  // A file of another length, or of other bytes, is not the one written,
  // whatever its sum.
  if (length != newImageSize_ || std::memcmp(written.data(), newImage_.data(), length) != 0) {
    return kUpdateVerifyMismatch;
  }
  return SumWordsPadded(written.data(), length & ~size_t{3}) == expectedWordSum ? kUpdateOk
                                                                                  : kUpdateVerifyMismatch;
}

bool COpenTypeManager::HoldsInstalledBytes(const char* path) {
  const size_t length = static_cast<size_t>(installedLength_);
  ByteBuffer current;
  return ReadWholeFile(path, platform::Share::kReadWrite, &current) && current.size() - 1 == length &&
         std::memcmp(current.data(), installedImage_.data(), length) == 0;
}

void COpenTypeManager::RestoreInstalled(const char* path) {
  // A copy that broke off once may break off again: the file is read back
  // after every attempt. Only the file this update wrote is put back: a name
  // that another file has taken since stays as it is.
  constexpr int kRestoreAttempts = 3;
  for (int attempt = 0; attempt < kRestoreAttempts && !HoldsInstalledBytes(path); ++attempt) {
    std::string restorePath;
    bool created = false;
    if (WriteTemporaryFile(installedImage_.data(), static_cast<size_t>(installedLength_), &restorePath, &created)) {
      folder_->CopyOver(restorePath, fileName_, replacedIdentity_, &replacedIdentity_);
    }
    if (created) files_.Remove(restorePath);
  }
}

int32_t COpenTypeManager::UpdateFont(const char* path, int32_t expectedRevision, UpdateProgressFunc callback,
                                     void* context, int32_t n, int32_t i) {
  // Memory sized from what a file says, that the system cannot give, ends
  // the update like any font that cannot be used: nothing is replaced
  // before the rebuild is done.
  try {
    return Update(path, expectedRevision, callback, context, n, i);
  } catch (const std::bad_alloc&) {
    return FinishUpdate(kUpdateFontUnusable, temporaryPath_);
  }
}

int32_t COpenTypeManager::Update(const char* path, int32_t expectedRevision, UpdateProgressFunc callback,
                                 void* context, int32_t n, int32_t i) {
  temporaryCreated_ = false;
  waitsForRestart_ = false;
  // The font's folder is held open from here on, and every step takes
  // place in it: a folder swapped for a link meanwhile leads nowhere else.
  const platform::TextEncoding encoding = platform::SystemTextEncoding();
  const text::PathParts parts = text::SplitPath(encoding, path);
  updatePath_ = path;
  fileName_ = parts.name + parts.extension;
  folder_ = files_.OpenFolder(parts.drive + parts.folder);
  // The target entry is looked up first, silently: its difference file
  // decides how the font is read. Without an entry the font has no
  // difference data to apply.
  int32_t resourceId = 0;
  const bool targetFound = targets_ != nullptr && targets_->FindTargetResource(path, expectedRevision, &resourceId);
  extended_ = false;
  if (targetFound) PrepareFor(resourceId);
  int32_t result = ReadFont(path, callback, context, n, i);
  if (result == kUpdateOk) result = TakeLicenseTexts();
  if (result == kUpdateOk && !targetFound) result = kUpdateSabunNotLoaded;
  if (result != kUpdateOk) {
    Reset();
    return result;
  }

  std::string& temporaryPath = temporaryPath_;
  temporaryPath.clear();
  DrawTemporaryPath(&temporaryPath);
  result = BuildFont(path, resourceId, &temporaryPath, callback, context, n, i);
  if (result == kUpdateOk) {
    const std::string stagedName = NameInFolder(StagedPath(path));
    switch (folder_->CopyOver(temporaryPath, fileName_, installedIdentity_, &replacedIdentity_)) {
      case platform::Replacement::kReplaced:
        Report(100, progress_text::kCopyingFromTemp, path, callback, context, n, i);
        result = VerifyFont(path, imageWordSum_);
        // A revision staged by an earlier run is not needed any more; its
        // pending move then finds nothing to move.
        if (result == kUpdateOk && folder_->Exists(stagedName)) folder_->Remove(stagedName, std::string());
        break;
      case platform::Replacement::kInUse:
        // The installed file was not touched: nothing to restore.
        Report(100, progress_text::kCopyingFromTemp, path, callback, context, n, i);
        return FinishUpdate(StageForRestart(temporaryPath, stagedName), temporaryPath);
      case platform::Replacement::kFailed:
        result = kUpdateCopyFailed;
        break;
      case platform::Replacement::kChanged:
        // Another file, or none, has the font's name now: it is not this
        // update's to change or to put back.
        return FinishUpdate(kUpdateFontUnusable, temporaryPath);
    }
    // The installed bytes are still in memory: a failed copy or verification
    // never leaves the user with a damaged font.
    if (result != kUpdateOk) RestoreInstalled(path);
  }
  return FinishUpdate(result, temporaryPath);
}

int32_t COpenTypeManager::FinishUpdate(int32_t result, const std::string& temporaryPath) {
  if (temporaryCreated_) files_.Remove(temporaryPath);
  temporaryCreated_ = false;
  Reset();
  return result;
}

void COpenTypeManager::ExpectFile(const std::string& identity) { expectedIdentity_ = identity; }

std::string COpenTypeManager::StagedPath(const std::string& path) {
  const platform::TextEncoding encoding = platform::SystemTextEncoding();
  text::PathParts parts = text::SplitPath(encoding, path);
  std::string name = parts.name + parts.extension;
  // Cut before the first ".otf": a search never takes the staged file for a font.
  name = name.substr(0, text::FindText(name, ".otf", encoding));
  return parts.drive + parts.folder + name + kStagedExtension;
}

int32_t COpenTypeManager::StageForRestart(const std::string& temporaryPath, const std::string& stagedName) {
  // A file staged by an earlier run is replaced like the font itself would be.
  if (folder_->CopyOver(temporaryPath, stagedName, std::string(), nullptr) != platform::Replacement::kReplaced) {
    folder_->Remove(stagedName, std::string());
    return kUpdateCopyFailed;
  }
  int32_t result = VerifyFont((folder_->Path() + stagedName).c_str(), imageWordSum_);
  if (result == kUpdateOk && !folder_->ReplaceAtRestart(stagedName, fileName_)) result = kUpdateCopyFailed;
  if (result != kUpdateOk) {
    folder_->Remove(stagedName, std::string());
    return result;
  }
  waitsForRestart_ = true;
  return kUpdateOk;
}

bool COpenTypeManager::FindFontName(const uint8_t* file, size_t length, uint16_t numTables,
                                    char name[kFontNameSize]) {
  for (uint16_t k = 0; k < numTables; ++k) {
    const uint8_t* entry = file + kOffsetTableSize + kDirectoryEntrySize * k;
    if (std::memcmp(entry, "name", 4) != 0) continue;
    CTagNameObject nameTable;
    if (nameTable.ReadEntry(entry, file, length) >= 0 && nameTable.LoadNameTable() == 1 &&
        nameTable.GetFontName(name) == 1) {
      return true;
    }
  }
  return false;
}

bool COpenTypeManager::ReadIdentityParts(const char* path, ByteBuffer* image) {
  std::unique_ptr<platform::File> file = OpenFile(path, platform::Share::kRead);
  int64_t length = 0;
  uint8_t offsetTable[kOffsetTableSize];
  if (file == nullptr || !file->Length(&length) || length <= 0 || length > kMaxFontFileSize) return false;
  // A platform that reads files only in turn reads this one whole.
  if (!file->ReadAt(0, offsetTable, sizeof offsetTable)) return ReadAll(*file, length, image);
  uint16_t numTables = 0;
  otu::LoadU16(offsetTable, sizeof offsetTable, 4, &numTables);
  const size_t directorySize = kOffsetTableSize + kDirectoryEntrySize * numTables;
  if (directorySize > static_cast<uint64_t>(length)) return false;
  std::vector<uint8_t> directory(directorySize);
  if (!file->ReadAt(0, directory.data(), directory.size())) return false;
  // The name and head tables, each placed after the directory in turn; every
  // other entry is emptied.
  struct Part {
    uint32_t from, length, to;
  };
  std::vector<Part> parts;
  size_t size = directorySize;
  for (size_t k = 0; k < numTables; ++k) {
    uint8_t* entry = directory.data() + kOffsetTableSize + kDirectoryEntrySize * k;
    uint32_t offset = 0, tableLength = 0;
    otu::LoadU32(entry, kDirectoryEntrySize, 8, &offset);
    otu::LoadU32(entry, kDirectoryEntrySize, 12, &tableLength);
    const bool wanted = std::memcmp(entry, "name", 4) == 0 || std::memcmp(entry, "head", 4) == 0;
    if (!wanted || !otu::RangeFits(offset, tableLength, static_cast<uint64_t>(length))) tableLength = 0;
    if (tableLength != 0) parts.push_back({offset, tableLength, static_cast<uint32_t>(size)});
    otu::StoreU32(entry, kDirectoryEntrySize, 8, tableLength == 0 ? 0 : static_cast<uint32_t>(size));
    otu::StoreU32(entry, kDirectoryEntrySize, 12, tableLength);
    size += (size_t{tableLength} + 3) & ~size_t{3};
    // Tables that overlap could add up past any font.
    if (size > static_cast<uint64_t>(kMaxFontFileSize)) return false;
  }
  if (!image->Allocate(size + 1)) return false;
  std::memset(image->data(), 0, size + 1);
  std::memcpy(image->data(), directory.data(), directorySize);
  for (const Part& part : parts) {
    if (!file->ReadAt(part.from, image->data() + part.to, part.length)) return false;
  }
  return true;
}

int COpenTypeManager::GetFontIdentity(const char* path, uint32_t* revision, char name[kFontNameSize]) {
  try {
    return ReadFontIdentity(path, revision, name);
  } catch (const std::bad_alloc&) {
    Reset();
    return 0;
  }
}

int COpenTypeManager::ReadFontIdentity(const char* path, uint32_t* revision, char name[kFontNameSize]) {
  Reset();
  if (!ReadIdentityParts(path, &installedImage_)) {
    Reset();
    return 0;
  }
  installedLength_ = static_cast<int32_t>(installedImage_.size() - 1);
  const uint8_t* file = installedImage_.data();
  const size_t length = static_cast<size_t>(installedLength_);
  COpenTypeHeader header;
  TagList entries;
  if (header.ReadHeader(file, length) == 0 || header.state != 2 ||
      !otu::RangeFits(kOffsetTableSize, kDirectoryEntrySize * header.numTables, length)) {
    Reset();
    return 0;
  }
  bool nameFound = FindFontName(file, length, header.numTables, name);
  bool revisionFound = false;
  for (uint16_t k = 0; k < header.numTables && !revisionFound; ++k) {
    const uint8_t* entry = file + kOffsetTableSize + kDirectoryEntrySize * k;
    if (std::memcmp(entry, "head", 4) != 0) continue;
    CTagHeadObject head;
    revisionFound = head.ReadEntry(entry, file, length) >= 0 && head.ReadHead() == 1;
    if (revisionFound) *revision = head.headInfo.fontRevision;
  }
  Reset();
  return nameFound && revisionFound ? 1 : 0;
}

int COpenTypeManager::GetFontIdentity(const char* path, uint16_t nameId, FontIdentity* identity) {
  Reset();
  int found = 0;
  try {
    found = ReadExtendedIdentity(path, nameId, identity);
  } catch (const std::bad_alloc&) {
    found = 0;
  }
  Reset();
  return found;
}

int COpenTypeManager::ReadExtendedIdentity(const char* path, uint16_t nameId, FontIdentity* identity) {
  int found = 0;
  if (ReadIdentityParts(path, &installedImage_)) {
    const uint8_t* file = installedImage_.data();
    const size_t length = installedImage_.size() - 1;
    COpenTypeHeader header;
    TagList tables;
    if (header.ReadHeader(file, length, true) == 1 && LoadTableDirectory(header, file, length, false, &tables) == 1) {
      const CTagObject* name = ::FindTag(tables, "name");
      const CTagObject* headTable = ::FindTag(tables, "head");
      CHeadInfoObject head;
      if (name != nullptr && headTable != nullptr && FindNameText(name->data, name->length, nameId, &identity->name) &&
          head.ReadHead(headTable->data, headTable->length) == 1) {
        identity->sfntVersion = header.sfntVersion;
        identity->revision = head.fontRevision;
        found = 1;
      }
    }
  }
  return found;
}
