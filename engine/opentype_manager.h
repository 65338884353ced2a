// The update driver: revises one installed font from end to end (read,
// License Description carry-over, rebuild, assembly, checksums, temporary
// file, replacement, verification) and answers font identity queries.
#ifndef OTU_ENGINE_OPENTYPE_MANAGER_H_
#define OTU_ENGINE_OPENTYPE_MANAGER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/font_model.h"
#include "engine/name_table.h"
#include "engine/sabun_data.h"
#include "engine/target_lookup.h"
#include "engine/update_progress.h"
#include "platform/file_system.h"
#include "platform/resources.h"

// Result codes of one font update.
enum UpdateResult : int32_t {
  kUpdateOk = 0,
  kUpdateFontUnusable = 1,
  kUpdateStopped = 6,
  kUpdateSabunNotLoaded = 7,
  kUpdateNoNameTable = 8,
  kUpdateNoHeadTable = 9,
  kUpdateCopyFailed = 10,
  kUpdateTempFileFailed = 11,
  kUpdateReplacedUnreadable = 12,
  kUpdateVerifyMismatch = 13,
};

// A new image is held whole in memory and its lengths as int32.
constexpr uint32_t kMaxImageSize = 0x7FFFFFF0u;
// No font is larger: a file that is passes for none, and nobody's file of
// gigabytes is read into memory for a name.
constexpr int64_t kMaxFontFileSize = int64_t{256} << 20;

// Ends the name of the verified new revision of a font in use, kept in the
// font's folder until the system moves it over the font at its next start.
constexpr char kStagedExtension[] = ".otu-staged";

class COpenTypeManager : public COpenTypeObject {
 public:
  // `targets` may be null for a manager that only rebuilds in memory or
  // answers identity queries; UpdateFont then finds no target.
  COpenTypeManager(platform::FileSystem& files, const platform::ResourceSource& resources,
                   const CTargetLookup* targets);
  ~COpenTypeManager() override;

  // The language of the progress texts it reports (Japanese by default).
  void SetLanguage(text::Language language) { language_ = language; }

  int32_t UpdateFont(const char* path, int32_t expectedRevision, UpdateProgressFunc callback,
                     void* context, int32_t n, int32_t i);

  // The file the search met at the path UpdateFont is given (a folder
  // listing's identity of it): any other file found there is not revised.
  // Empty: whatever file is there.
  void ExpectFile(const std::string& identity);

  // Reads the installed font by the rules of difference resource
  // `resourceId`: an extended one takes any table tags and TrueType
  // outlines, and carries every License Description record of the font.
  // UpdateFont does this itself; callers of ReadFont do it first.
  void PrepareFor(int32_t resourceId);

  // Reads the installed font whole and loads its table directory: 0, 1 or 6.
  int32_t ReadFont(const char* path, UpdateProgressFunc callback, void* context, int32_t n, int32_t i);
  // Takes the two License Description texts of the installed font: 0, or 1
  // when the font lacks one of them. For an extended difference file: every
  // License Description record, none needed; 1 when the name table is not
  // well-formed.
  int32_t TakeLicenseTexts();
  // Loads difference resource `resourceId`, rebuilds every table and
  // assembles and finishes the new image in memory: 0, 1, 6, 7, 8 or 9.
  int32_t RebuildFont(const char* path, int32_t resourceId, UpdateProgressFunc callback, void* context,
                      int32_t n, int32_t i);
  // RebuildFont, then writes the new image to a new temporary file. The file
  // is created at *temporaryPath, or at a freshly drawn name when that one is
  // taken; *temporaryPath is then updated and TemporaryCreated() tells
  // whether there is a file to remove. 0, 1, 6, 7, 8, 9 or 11.
  int32_t BuildFont(const char* path, int32_t resourceId, std::string* temporaryPath,
                    UpdateProgressFunc callback, void* context, int32_t n, int32_t i);

  // 1 when `entry` (16 bytes of the installed directory) is the name table
  // and both License Description records exist.
  int ReadLicenseText(const uint8_t* entry, uint8_t macintosh[kLicenseTextSize],
                      uint8_t windows[kLicenseTextSize]);
  // 0, 1 (a record or the table does not fit), 6 or 8.
  int32_t WriteLicenseText(const char* path, const COpenTypeHeader& values, UpdateProgressFunc callback,
                           void* context, int32_t n, int32_t i);
  // For an extended difference file: each License Description record of the
  // installed font into the new font's record of the same platform,
  // encoding and language; the name table written anew when a text has
  // another length, and the tables after it moved. 0, 1 (a name table that
  // is not well-formed) or 6.
  int32_t CarryLicences(const char* path, UpdateProgressFunc callback, void* context, int32_t n, int32_t i);
  // 0, 1 (head table shorter than 54 bytes), 6 or 9.
  int32_t RecalcChecksum(const char* path, const COpenTypeHeader& values, UpdateProgressFunc callback,
                         void* context, int32_t n, int32_t i);
  // 0, or 12 (unreadable or empty) or 13 (word sum or length differs from
  // what was written).
  int32_t VerifyFont(const char* path, uint32_t expectedWordSum);

  // 1 when both the font name (fifth name record) and the head fontRevision
  // were found.
  int GetFontIdentity(const char* path, uint32_t* revision, char name[kFontNameSize]);
  // What an extended difference file knows an installed font by: its sfnt
  // version (CFF or TrueType outlines), head fontRevision, and the text of
  // the name record `nameId` (FindNameText). 1 when all were found.
  struct FontIdentity {
    uint32_t sfntVersion = 0;
    uint32_t revision = 0;
    std::string name;
  };
  int GetFontIdentity(const char* path, uint16_t nameId, FontIdentity* identity);

  void Reset();
  CTagObject* FindTag(const char* tagText) const { return ::FindTag(tables_, tagText); }

  // The finished new image after RebuildFont (until BuildFont writes it).
  const uint8_t* NewImage() const { return newImage_.data(); }
  uint32_t NewImageSize() const { return newImageSize_; }
  bool TemporaryCreated() const { return temporaryCreated_; }
  // After UpdateFont returned 0: whether the font was in use, so that its new
  // revision is staged and takes its place only when the system restarts.
  bool WaitsForRestart() const { return waitsForRestart_; }
  // Where the new revision of the font at `path` is staged: its folder, its
  // file name cut before the first ".otf", then kStagedExtension. (A ".ttf"
  // name keeps its extension: the name rule takes no ".otu-staged" file.)
  static std::string StagedPath(const std::string& path);

 private:
  // UpdateFont and the identity queries, apart from their answer to memory
  // that cannot be had.
  int32_t Update(const char* path, int32_t expectedRevision, UpdateProgressFunc callback, void* context,
                 int32_t n, int32_t i);
  int ReadFontIdentity(const char* path, uint32_t* revision, char name[kFontNameSize]);
  int ReadExtendedIdentity(const char* path, uint16_t nameId, FontIdentity* identity);
  // The font name (the fifth name record) of the first name table of the
  // font in `file` whose `numTables` directory entries lie inside it.
  static bool FindFontName(const uint8_t* file, size_t length, uint16_t numTables, char name[kFontNameSize]);
  // Reports point p; true when the callback asks to stop.
  bool Report(int32_t p, const char* stepFormat, const char* path, UpdateProgressFunc callback,
              void* context, int32_t n, int32_t i) const;
  // Reads `path` whole into *image (its length and a spare zero byte);
  // false when it cannot be opened, is empty, larger than a font can be or
  // cannot be read. *identity, when given, names the file read (empty when
  // that cannot be learned).
  bool ReadWholeFile(const char* path, platform::Share share, ByteBuffer* image,
                     std::string* identity = nullptr);
  // What the identity of the font at `path` is read from: its offset table,
  // its directory and its name and head tables, laid out in *image as a font
  // of their own (a spare zero byte after it); false when the file is no
  // font of a size a font can have. Fonts of gigabytes are not read whole
  // for a name.
  bool ReadIdentityParts(const char* path, ByteBuffer* image);
  // Opens `path` for reading: a file of the font's folder through the
  // folder held open, others by path.
  std::unique_ptr<platform::File> OpenFile(const char* path, platform::Share share);
  // The file name of `path` when it lies directly in the folder held open;
  // empty otherwise.
  std::string NameInFolder(const std::string& path) const;
  // The record of each table to rebuild, in rebuilt_'s order, and the new
  // offset table: 0, or 1 when the difference file does not fit the
  // installed font. Classic files rebuild every installed table, in the
  // installed directory's order, under the installed offset table.
  int32_t PairClassicRecords(std::vector<const CSabunTagObject*>* records);
  // Extended files rebuild the tables of their records, in file order: the
  // installed ones they name, whose bytes must be those the file was made
  // from, and the ones the new revision adds.
  int32_t PairExtendedRecords(std::vector<const CSabunTagObject*>* records);
  // True when `record` can place `table` in the new image.
  bool CheckRecordPlace(const CSabunTagObject& record, const CTagObject& table) const;
  // Writes the directory entries of the rebuilt tables, which lie in the new
  // image already, and zeroes the image bytes that no table covers: 0, or 1
  // when an entry does not fit.
  int32_t AssembleTables();
  // Puts `table` in place of the table of the new directory entry at
  // `entry`, whose length it does not have: the tables stored after it move
  // by the difference in padded length. 0, or 1 when memory is short.
  int32_t ReplaceTable(size_t entry, const std::vector<uint8_t>& table);
  // Sum modulo 2^32 of the new image's big-endian words as it stands, a
  // trailing partial word padded with zero bytes.
  uint32_t NewImageWordSum() const;
  // Offset in the new image of the first of its `numTables` directory
  // entries whose tag is `tag` (4 bytes); false when none is.
  bool FindNewDirectoryEntry(const char* tag, uint16_t numTables, size_t* entryOffset) const;
  bool DrawTemporaryPath(std::string* path) const;
  // Writes `size` bytes into a newly created temporary file (at *temporaryPath
  // unless empty or taken, else at a drawn name); false on any failure, the
  // file then removed. *created tells whether a file now exists to remove.
  bool WriteTemporaryFile(const uint8_t* bytes, size_t size, std::string* temporaryPath, bool* created);
  // Keeps the new revision of a font in use as `stagedName` in its folder,
  // verified, and asks the system to move it over the font at its next
  // start: 0, 10 when it cannot be staged or the system refuses, or
  // VerifyFont's code. A staged file is removed again unless it waits.
  int32_t StageForRestart(const std::string& temporaryPath, const std::string& stagedName);
  // Removes the temporary file and frees the images; returns `result`.
  int32_t FinishUpdate(int32_t result, const std::string& temporaryPath);
  // Puts the installed bytes, still in memory, back at `path` until the file
  // reads back as them (a few attempts).
  void RestoreInstalled(const char* path);
  // True when the file at `path` holds exactly the installed bytes.
  bool HoldsInstalledBytes(const char* path);

  platform::FileSystem& files_;
  const platform::ResourceSource& resources_;
  const CTargetLookup* targets_;
  text::Language language_ = text::Language::kJapanese;

  // The font UpdateFont revises: its path, its folder held open and its
  // name there; the file the search met, the one read and the one written.
  std::string updatePath_;
  std::unique_ptr<platform::Folder> folder_;
  std::string fileName_;
  std::string expectedIdentity_;
  std::string installedIdentity_;
  std::string replacedIdentity_;
  // The temporary file of the update, once drawn.
  std::string temporaryPath_;

  int32_t installedLength_ = 0;
  ByteBuffer installedImage_;
  COpenTypeHeader header_;
  // Once written to the temporary file, its memory is kept for VerifyFont to
  // read the replaced file back into: a fresh buffer of megabytes costs more
  // page faults than the read itself.
  ByteBuffer newImage_;
  uint32_t newImageSize_ = 0;
  // Set by the assembly: every table of the new image starts on a word and
  // ends, padded, before the next one starts, and the image is zero around
  // them. The image's word sum is then the directory's plus the tables'.
  bool tablesApart_ = false;
  uint8_t macintoshLicenseText_[kLicenseTextSize] = {};
  uint8_t windowsLicenseText_[kLicenseTextSize] = {};
  TagList tables_;
  // Read by the rules of an extended difference file (PrepareFor).
  bool extended_ = false;
  // The installed font's License Description records, for an extended file.
  std::vector<LicenceRecord> carriedLicences_;
  // Tables the new revision adds (extended files), and every table rebuilt,
  // in the order it is rebuilt; the new font's offset table.
  TagList addedTables_;
  std::vector<CTagObject*> rebuilt_;
  COpenTypeHeader newHeader_;
  std::unique_ptr<CMakeSabunData> sabunData_;
  uint32_t imageWordSum_ = 0;
  bool waitsForRestart_ = false;
  // Sum of the whole big-endian words of the finished new image.
  uint32_t finishedWordSum_ = 0;
  bool temporaryCreated_ = false;
};

#endif  // OTU_ENGINE_OPENTYPE_MANAGER_H_
