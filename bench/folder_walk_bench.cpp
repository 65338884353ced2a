// The drive walk against `find ROOT -maxdepth 7` on one generated tree of
// more than 200,000 entries down to depth 8: both read the same folders
// (depth 0 to 6). A few hundred names hold ".otf"; some are real revisable
// fonts, of which those within six folder levels must be found.
//
// Usage: folder_walk_bench [TREE_FOLDER]   (default /tmp/otu-walk-tree)
// The tree is generated once and reused while its stamp matches.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/folder_check_ctrl.h"
#include "tests/font_builder.h"
#include "tests/single_drive_folders.h"

namespace {

constexpr int kDepth = 8;
constexpr int kFilesPerFolder = 35;
const char kStamp[] = "otu-walk-tree v1 depth 8 files 35\n";
const char kFontName[] = "SampleGothic ProN Bold";
constexpr uint32_t kRevision = 0x10106;

// Children per folder at each depth: wide near the root, narrow deep down.
int ChildrenAt(int depth) { return depth < 6 ? 4 : 2; }

struct TreeCounts {
  long entries = 0;
  long otfNames = 0;
  long fontsWithinReach = 0;
};

void Generate(const std::string& folder, int depth, const std::vector<uint8_t>& font, long* serial,
              TreeCounts* counts) {
  ::mkdir(folder.c_str(), 0755);
  int files = depth <= 6 ? kFilesPerFolder : 3;
  for (int i = 0; i < files; ++i) {
    long n = ++*serial;
    std::string name;
    const std::vector<uint8_t>* bytes = nullptr;
    std::vector<uint8_t> other;
    if (n % 1500 == 0) {
      name = "SampleGothicProN-Bold.otf";
      bytes = &font;
      if (depth <= 6) ++counts->fontsWithinReach;
    } else if (n % 1500 == 500) {
      name = "SampleGothicProN-Bold.otf.bak";
      bytes = &font;
    } else if (n % 1500 == 1000) {
      name = "Other" + std::to_string(n) + ".otf";
    } else if (n % 5000 == 7) {
      name = "10001";
    } else {
      name = "file" + std::to_string(n) + ".dat";
    }
    if (name.find(".otf") != std::string::npos) ++counts->otfNames;
    std::ofstream out(folder + name, std::ios::binary);
    if (bytes != nullptr) out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    ++counts->entries;
  }
  if (depth == kDepth) return;
  for (int i = 0; i < ChildrenAt(depth); ++i) {
    ++counts->entries;
    Generate(folder + "d" + std::to_string(i) + "/", depth + 1, font, serial, counts);
  }
}

int32_t Quiet(const char*, void*) { return 0; }

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  std::string root = argc > 1 ? argv[1] : "/tmp/otu-walk-tree";
  if (root.back() != '/') root += '/';
  std::vector<uint8_t> font = testfont::BuildFont(testfont::SampleTables(kRevision, kFontName, 1));

  TreeCounts counts;
  {
    std::ifstream stamp(root + "stamp");
    std::string line;
    std::getline(stamp, line);
    if (line + "\n" != kStamp) {
      std::printf("generating %s ...\n", root.c_str());
      if (std::system(("rm -rf '" + root + "'").c_str()) != 0) return 1;
      long serial = 0;
      Generate(root, 0, font, &serial, &counts);
      std::ofstream(root + "stamp") << kStamp << counts.entries << " " << counts.otfNames << " "
                                    << counts.fontsWithinReach << "\n";
    }
    std::ifstream again(root + "stamp");
    std::getline(again, line);
    again >> counts.entries >> counts.otfNames >> counts.fontsWithinReach;
  }
  std::printf("tree: %ld entries, %ld names with .otf, %ld fonts within six levels\n", counts.entries,
              counts.otfNames, counts.fontsWithinReach);

  testfont::SabunFile sabun;
  sabun.fontName = kFontName;
  sabun.expectedRevision = kRevision;
  platform::MemoryResources resources;
  resources.Add("FONT_PA", 2002, testfont::BuildSabun(sabun));
  CSabunEntry entry;
  std::memset(&entry, 0, sizeof(entry));
  std::strcpy(entry.targetFileName, "SampleGothicProN-Bold.otf");
  entry.resourceId = 2002;

  std::string find = "find '" + root + "' -maxdepth 7 > /dev/null";
  if (std::system(find.c_str()) != 0) return 1;  // warms the caches for both
  double bestWalk = 1e9;
  double bestFind = 1e9;
  int32_t candidates = 0;
  for (int round = 0; round < 5; ++round) {
    testdisk::SingleDriveFolders folders(root);
    CFolderCheckCtrl controller(platform::HostFileSystem(), resources, folders,
                                NameRules{'/', platform::TextEncoding::kUtf8});
    controller.BuildTargetList({entry});
    auto start = std::chrono::steady_clock::now();
    controller.SearchDrives(&Quiet, nullptr);
    bestWalk = std::min(bestWalk, Seconds(std::chrono::steady_clock::now() - start));
    candidates = controller.CandidateCount();

    start = std::chrono::steady_clock::now();
    if (std::system(find.c_str()) != 0) return 1;
    bestFind = std::min(bestFind, Seconds(std::chrono::steady_clock::now() - start));
  }
  std::printf("candidates found: %d (expected %ld)\n", candidates, counts.fontsWithinReach);
  std::printf("walk %.3f s, find -maxdepth 7 %.3f s, ratio %.2f (best of 5)\n", bestWalk, bestFind,
              bestWalk / bestFind);
  return candidates == counts.fontsWithinReach ? 0 : 1;
}
