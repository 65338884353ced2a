// The Windows folder held open and the files in it, under Wine: folders made
// in the temporary folder, nothing else touched. Both ways of renaming and
// deleting are run: through handles, and by name as on Windows XP.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <random>
#include <string>

#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/win32/handles.h"

namespace {

using platform::Replacement;
using platform::win32::HandleCalls;

void Put(const std::string& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
  CloseHandle(file);
}

std::string Bytes(const std::string& path) {
  std::unique_ptr<platform::File> file = platform::HostFileSystem().OpenRead(path, platform::Share::kReadWrite);
  int64_t length = 0;
  if (file == nullptr || !file->Length(&length)) return "<none>";
  std::string bytes(static_cast<size_t>(length), '\0');
  if (length > 0 && !file->Read(reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size())) return "<unreadable>";
  return bytes;
}

std::string IdentityOf(platform::Folder& folder, const std::string& name) {
  std::unique_ptr<platform::File> file = folder.OpenRead(name, platform::Share::kReadWrite);
  std::string identity;
  if (file == nullptr || !file->Identity(&identity)) return std::string();
  return identity;
}

class HeldFolderTest : public ::testing::TestWithParam<HandleCalls> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::HostFileSystem().TempFolder(&temp_));
    top_ = temp_ + "otu-held-" + std::to_string(std::random_device{}()) + "\\";
    inner_ = top_ + "Fonts\\";
    ASSERT_TRUE(CreateDirectoryA(top_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(inner_.c_str(), nullptr));
    from_ = temp_ + "otu-held-new-" + std::to_string(std::random_device{}());
    Put(from_, "the new revision");
  }
  void TearDown() override {
    for (const char* name : {"font.otf", "font.otf.otu-copy", "made.otf", "sub\\"}) {
      std::string path = inner_ + name;
      if (path.back() == '\\') {
        RemoveDirectoryA(path.c_str());
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    }
    RemoveDirectoryA(inner_.c_str());
    RemoveDirectoryA(top_.c_str());
    DeleteFileA(from_.c_str());
  }
  std::unique_ptr<platform::Folder> Open() { return platform::win32::OpenHeldFolder(inner_, GetParam()); }

  std::string temp_, top_, inner_, from_;
};

TEST_P(HeldFolderTest, NoFolderOfThePathCanBeRenamedWhileHeld) {
  const std::string top = top_.substr(0, top_.size() - 1), inner = inner_.substr(0, inner_.size() - 1);
  {
    std::unique_ptr<platform::Folder> folder = Open();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->Path(), inner_);
    EXPECT_FALSE(MoveFileExA(inner.c_str(), (inner + "2").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(MoveFileExA(top.c_str(), (top + "2").c_str(), 0));
    EXPECT_FALSE(RemoveDirectoryA(inner.c_str()));
    // What lies in the folder stays anyone's to change.
    Put(inner_ + "made.otf", "made while held");
    EXPECT_TRUE(DeleteFileA((inner_ + "made.otf").c_str()));
  }
  EXPECT_TRUE(MoveFileExA(inner.c_str(), (inner + "2").c_str(), 0));
  EXPECT_TRUE(MoveFileExA((inner + "2").c_str(), inner.c_str(), 0));
}

TEST_P(HeldFolderTest, ReplacesOnlyTheFileMetKeepingItsAttributes) {
  Put(inner_ + "font.otf", "the old revision", FILE_ATTRIBUTE_HIDDEN);
  std::unique_ptr<platform::Folder> folder = Open();
  ASSERT_NE(folder, nullptr);
  const std::string met = IdentityOf(*folder, "font.otf");
  ASSERT_FALSE(met.empty());

  std::string replaced;
  EXPECT_EQ(folder->CopyOver(from_, "font.otf", met + "0", &replaced), Replacement::kChanged);
  EXPECT_EQ(Bytes(inner_ + "font.otf"), "the old revision");
  EXPECT_EQ(folder->CopyOver(from_, "font.otf", met, &replaced), Replacement::kReplaced);
  EXPECT_EQ(Bytes(inner_ + "font.otf"), "the new revision");
  EXPECT_NE(GetFileAttributesA((inner_ + "font.otf").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(replaced, IdentityOf(*folder, "font.otf"));
  EXPECT_NE(replaced, met);
  EXPECT_EQ(GetFileAttributesA((inner_ + "font.otf.otu-copy").c_str()), INVALID_FILE_ATTRIBUTES);
  // The name names another file now: the one met is gone.
  Put(from_, "a third revision");
  EXPECT_EQ(folder->CopyOver(from_, "font.otf", met, nullptr), Replacement::kChanged);
  // Held open by a program that lets others only read it, as the system
  // holds a loaded font: in use, untouched.
  HANDLE loaded = CreateFileA((inner_ + "font.otf").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(loaded, INVALID_HANDLE_VALUE);
  EXPECT_EQ(folder->CopyOver(from_, "font.otf", replaced, nullptr), Replacement::kInUse);
  CloseHandle(loaded);
  EXPECT_EQ(Bytes(inner_ + "font.otf"), "the new revision");
  EXPECT_EQ(GetFileAttributesA((inner_ + "font.otf.otu-copy").c_str()), INVALID_FILE_ATTRIBUTES);
  // Without an identity to keep to, a name not taken yet is made.
  EXPECT_EQ(folder->CopyOver(from_, "made.otf", std::string(), nullptr), Replacement::kReplaced);
  EXPECT_EQ(Bytes(inner_ + "made.otf"), "a third revision");
}

TEST_P(HeldFolderTest, RemovesOnlyTheFileMet) {
  Put(inner_ + "font.otf", "downloaded");
  ASSERT_TRUE(CreateDirectoryA((inner_ + "sub").c_str(), nullptr));
  std::unique_ptr<platform::Folder> folder = Open();
  ASSERT_NE(folder, nullptr);
  const std::string met = IdentityOf(*folder, "font.otf");
  ASSERT_FALSE(met.empty());
  EXPECT_FALSE(folder->Remove("font.otf", met + "0"));
  EXPECT_TRUE(folder->Exists("font.otf"));
  EXPECT_FALSE(folder->Remove("sub", std::string()));
  EXPECT_EQ(folder->OpenRead("sub", platform::Share::kRead), nullptr);
  EXPECT_FALSE(folder->Remove("..\\Fonts\\font.otf", std::string()));
  EXPECT_TRUE(folder->Remove("font.otf", met));
  EXPECT_FALSE(folder->Exists("font.otf"));
  EXPECT_EQ(GetFileAttributesA((inner_ + "font.otf").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_P(HeldFolderTest, RefusesPathsThatAreNoFolderHeldFromTheRoot) {
  Put(inner_ + "font.otf", "a file");
  EXPECT_EQ(platform::win32::OpenHeldFolder(inner_ + "font.otf\\", GetParam()), nullptr);
  EXPECT_EQ(platform::win32::OpenHeldFolder(inner_ + "missing\\", GetParam()), nullptr);
  EXPECT_EQ(platform::win32::OpenHeldFolder(inner_ + "..\\Fonts\\", GetParam()), nullptr);
  EXPECT_EQ(platform::win32::OpenHeldFolder("Fonts\\", GetParam()), nullptr);
  EXPECT_EQ(platform::win32::OpenHeldFolder(inner_.substr(0, inner_.size() - 1), GetParam()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Calls, HeldFolderTest, ::testing::Values(HandleCalls::kWhereAvailable, HandleCalls::kNever));

TEST(Win32Files, ReadAtLeavesThePositionWhereItWas) {
  std::string temp;
  ASSERT_TRUE(platform::HostFileSystem().TempFolder(&temp));
  const std::string path = temp + "otu-readat-" + std::to_string(std::random_device{}());
  Put(path, "0123456789");
  std::unique_ptr<platform::File> file = platform::HostFileSystem().OpenRead(path, platform::Share::kRead);
  ASSERT_NE(file, nullptr);
  uint8_t bytes[4] = {};
  ASSERT_TRUE(file->Read(bytes, 2));
  ASSERT_TRUE(file->ReadAt(6, bytes, 3));
  EXPECT_EQ(std::string(bytes, bytes + 3), "678");
  EXPECT_FALSE(file->ReadAt(8, bytes, 3));
  ASSERT_TRUE(file->Read(bytes, 2));
  EXPECT_EQ(std::string(bytes, bytes + 2), "23");
  file.reset();
  DeleteFileA(path.c_str());
}

TEST(Win32Files, TheWalkPassesOverAFileWithSeveralNames) {
  std::string temp;
  ASSERT_TRUE(platform::HostFileSystem().TempFolder(&temp));
  const std::string folder = temp + "otu-links-" + std::to_string(std::random_device{}()) + "\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  Put(folder + "a.otf", "one name");
  Put(folder + "b.otf", "two names");
  ASSERT_TRUE(CreateHardLinkA((folder + "c.otf").c_str(), (folder + "b.otf").c_str(), nullptr));
  std::string readOnly;
  std::unique_ptr<platform::FolderListing> listing = platform::HostFolders().List(folder);
  ASSERT_NE(listing, nullptr);
  platform::FolderEntry entry;
  while (listing->Next(&entry)) {
    if (!entry.directory && listing->ReadOnly()) readOnly += entry.name + " ";
  }
  EXPECT_EQ(readOnly, "b.otf c.otf ");
  for (const char* name : {"a.otf", "b.otf", "c.otf"}) DeleteFileA((folder + name).c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(Win32Files, TemporaryNumbersComeFromTheSystemsGenerator) {
  // The C library's rand() never goes past RAND_MAX (32767 here); nine
  // 32-bit numbers from the system's generator all stay below it once in
  // 2^135 runs.
  bool wide = false;
  for (int n = 0; n < 9; ++n) wide = wide || platform::HostFileSystem().RandomNumber() > RAND_MAX;
  EXPECT_TRUE(wide);
}

}  // namespace
