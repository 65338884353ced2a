// What a platform without folder handles of its own offers for them: a
// folder whose names are taken as paths at each step.
#include <cstdlib>

#include "platform/file_system.h"

namespace platform {
namespace {

class FolderByPath : public Folder {
 public:
  FolderByPath(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

  std::unique_ptr<File> OpenRead(const std::string& name, Share share) override {
    return files_.OpenRead(path_ + name, share);
  }
  // The file of `identity` cannot be told apart by path.
  Replacement CopyOver(const std::string& from, const std::string& name, const std::string&,
                       std::string*) override {
    return files_.CopyOver(from, path_ + name);
  }
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    return files_.ReplaceAtRestart(path_ + from, path_ + to);
  }
  bool Remove(const std::string& name, const std::string&) override { return files_.Remove(path_ + name); }
  bool Exists(const std::string& name) override { return files_.Exists(path_ + name); }
  const std::string& Path() const override { return path_; }

 private:
  FileSystem& files_;
  const std::string path_;
};

}  // namespace

std::unique_ptr<Folder> FileSystem::OpenFolder(const std::string& path) {
  return std::make_unique<FolderByPath>(*this, path);
}

uint32_t FileSystem::RandomNumber() { return static_cast<uint32_t>(std::rand() % 255); }

}  // namespace platform
