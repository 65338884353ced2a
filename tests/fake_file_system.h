// Files held in memory, with faults to inject at every step the update
// driver takes: opening, reading, creating, writing, closing, copying.
#ifndef OTU_TESTS_FAKE_FILE_SYSTEM_H_
#define OTU_TESTS_FAKE_FILE_SYSTEM_H_

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace testfs {

class FakeFileSystem : public platform::FileSystem {
 public:
  enum class CopyFault {
    kNone,
    kFailUntouched,  // fails, the target keeps its bytes
    kFailHalfway,    // fails after writing the first half of the source over the target
    kCorrupt,        // succeeds, but one byte of the target differs from the source
    kAppendZeros,    // succeeds, but four zero bytes follow the copy (same word sum)
    kTruncate,       // succeeds, but the target is empty
  };

  std::map<std::string, std::vector<uint8_t>> files;

  // Faults. Counts are of calls from now on; -1 means never.
  int openReadFailsFrom = -1;  // this OpenRead call (0-based) and every later one fail
  bool readFails = false;
  int createFailures = 0;       // so many CreateExclusive calls fail first
  size_t writeLimit = SIZE_MAX; // a Write of more bytes stores only this many and fails
  bool closeFails = false;
  CopyFault copyFault = CopyFault::kNone;
  int faultyCopies = 1;  // so many CopyOver calls, from the first, suffer copyFault
  bool tempFolderFails = false;
  // Files another program holds open for reading, as the system holds a
  // loaded font: only an open that lets others read gets them, and a
  // CopyOver onto them reports kInUse and changes nothing.
  std::set<std::string> inUse;
  bool restartMovesRefused = false;

  // What happened.
  int openReadCalls = 0;
  int createCalls = 0;
  int copyCalls = 0;
  std::vector<std::string> created;
  // Moves asked for the next start, in order: (from, to).
  std::vector<std::pair<std::string, std::string>> pendingMoves;

  std::unique_ptr<platform::File> OpenRead(const std::string& path, platform::Share share) override {
    int call = openReadCalls++;
    if (openReadFailsFrom >= 0 && call >= openReadFailsFrom) return nullptr;
    if (share == platform::Share::kExclusive && inUse.count(path) != 0) return nullptr;
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    return std::make_unique<FakeFile>(this, path, false);
  }

  std::unique_ptr<platform::File> CreateExclusive(const std::string& path) override {
    ++createCalls;
    if (createFailures > 0) {
      --createFailures;
      return nullptr;
    }
    if (files.count(path) != 0) return nullptr;
    files[path];
    created.push_back(path);
    return std::make_unique<FakeFile>(this, path, true);
  }

  platform::Replacement CopyOver(const std::string& from, const std::string& to) override {
    using platform::Replacement;
    CopyFault fault = copyCalls++ < faultyCopies ? copyFault : CopyFault::kNone;
    auto source = files.find(from);
    if (source == files.end()) return Replacement::kFailed;
    if (inUse.count(to) != 0) return Replacement::kInUse;
    std::vector<uint8_t> bytes = source->second;
    switch (fault) {
      case CopyFault::kNone:
        break;
      case CopyFault::kFailUntouched:
        return Replacement::kFailed;
      case CopyFault::kFailHalfway: {
        std::vector<uint8_t>& target = files[to];
        size_t half = std::min(bytes.size() / 2, target.size());
        std::copy(bytes.begin(), bytes.begin() + static_cast<long>(half), target.begin());
        return Replacement::kFailed;
      }
      case CopyFault::kCorrupt:
        bytes[bytes.size() / 3] ^= 0x01;
        break;
      case CopyFault::kAppendZeros:
        bytes.insert(bytes.end(), 4, 0);
        break;
      case CopyFault::kTruncate:
        bytes.clear();
        break;
    }
    files[to] = bytes;
    return Replacement::kReplaced;
  }

  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    if (restartMovesRefused || files.count(from) == 0) return false;
    pendingMoves.emplace_back(from, to);
    return true;
  }

  // The system's next start: every pending move whose file is still there
  // is carried out, in order, and the programs holding files open are gone.
  void Restart() {
    for (const auto& move : pendingMoves) {
      auto staged = files.find(move.first);
      if (staged == files.end()) continue;
      files[move.second] = staged->second;
      files.erase(move.first);
    }
    pendingMoves.clear();
    inUse.clear();
  }

  bool Remove(const std::string& path) override { return files.erase(path) == 1; }
  bool Exists(const std::string& path) override { return files.count(path) == 1; }

  bool TempFolder(std::string* out) override {
    if (tempFolderFails) return false;
    *out = std::string("temp") + platform::PathSeparator();
    return true;
  }

 private:
  class FakeFile : public platform::File {
   public:
    FakeFile(FakeFileSystem* owner, std::string path, bool writing)
        : owner_(owner), path_(std::move(path)), writing_(writing) {}
    bool Length(int64_t* out) override {
      *out = static_cast<int64_t>(owner_->files[path_].size());
      return true;
    }
    bool Read(uint8_t* buffer, size_t n) override {
      const std::vector<uint8_t>& bytes = owner_->files[path_];
      if (owner_->readFails || writing_ || position_ + n > bytes.size()) return false;
      if (n != 0) std::memcpy(buffer, bytes.data() + position_, n);
      position_ += n;
      return true;
    }
    bool Write(const uint8_t* bytes, size_t n) override {
      if (!writing_) return false;
      std::vector<uint8_t>& file = owner_->files[path_];
      size_t stored = std::min(n, owner_->writeLimit);
      file.insert(file.end(), bytes, bytes + stored);
      return stored == n;
    }
    bool Close() override { return !(writing_ && owner_->closeFails); }

   private:
    FakeFileSystem* owner_;
    std::string path_;
    bool writing_;
    size_t position_ = 0;
  };
};

}  // namespace testfs

#endif  // OTU_TESTS_FAKE_FILE_SYSTEM_H_
