// engine_bench CORPUS_DIR WORK_DIR MAKE...: for each real-font revision pair,
//  - the rebuild alone (installed image and difference file in memory to the
//    finished new image in memory) against the whole decode of xdelta3,
//    bspatch and zstd --patch-from on the same pair;
//  - the whole update (read, rebuild, temporary file, replacement,
//    verification) against the I/O floor (read the installed file, write it
//    to a temporary file, copy that over the installed one, read it back).
// MAKE is the command that writes a difference file, called as
// MAKE OLD NEW -o OUT: `otpa make` or `python3 tests/corpus/simple_diff.py`.
// Figures are medians. The runs of the figures compared with each other
// take turns, so that a slow spell of the machine falls on all of them alike.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/opentype_manager.h"
#include "platform/file_system.h"
#include "platform/resources.h"
#include "tests/fake_file_system.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kDiffId = 1;

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A measured step: `prepare` runs untimed before each timed call of `work`.
struct Step {
  Step(std::function<void()> timed, std::function<void()> untimed = [] {})
      : work(std::move(timed)), prepare(std::move(untimed)) {}
  std::function<void()> work;
  std::function<void()> prepare;
  std::vector<double> times;
};

// Median milliseconds of each step over `runs` rounds, in each of which every
// step runs once, in turn.
std::vector<double> Medians(int runs, std::vector<Step> steps) {
  for (int k = 0; k < runs; ++k) {
    for (Step& step : steps) {
      step.prepare();
      auto start = std::chrono::steady_clock::now();
      step.work();
      step.times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  }
  std::vector<double> medians;
  for (Step& step : steps) {
    std::sort(step.times.begin(), step.times.end());
    medians.push_back(step.times[step.times.size() / 2]);
  }
  return medians;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Patches are made again only when a font of the pair is newer: making them
// is not what is measured.
bool Prepare(const std::string& output, const std::string& old, const std::string& neu,
             const std::string& command) {
  std::error_code error;
  auto made = std::filesystem::last_write_time(output, error);
  if (!error && made >= std::filesystem::last_write_time(old, error) &&
      made >= std::filesystem::last_write_time(neu, error) && !error) {
    return true;
  }
  return Run(command);
}

class SingleTarget : public CTargetLookup {
 public:
  bool FindTargetResource(const char*, int32_t, int32_t* resourceId) const override {
    *resourceId = kDiffId;
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: engine_bench CORPUS_DIR WORK_DIR MAKE...\n");
    return 2;
  }
  const std::string corpus = argv[1];
  const std::string work = argv[2];
  std::string make;
  for (int k = 3; k < argc; ++k) make += std::string(k > 3 ? " '" : "'") + argv[k] + "'";
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!Run("mkdir -p '" + work + "'")) return 1;
  const int runs = 15;

  std::printf("%-13s %9s %9s %9s %9s %9s %8s | %9s %9s %7s\n", "pair", "rebuild", "xdelta3", "bspatch", "zstd",
              "pa bytes", "speedup", "update", "floor", "ratio");
  for (const char* pair : {"small", "outlines", "glyphs-added", "name-head"}) {
    const std::string old = corpus + "/" + pair + "/old.otf";
    const std::string neu = corpus + "/" + pair + "/new.otf";
    const std::string base = work + "/" + pair;
    if (!Prepare(base + ".pa", old, neu, make + " '" + old + "' '" + neu + "' -o '" + base + ".pa'") ||
        !Prepare(base + ".xd3", old, neu, "xdelta3 -e -f -9 -s '" + old + "' '" + neu + "' '" + base + ".xd3'") ||
        !Prepare(base + ".bsd", old, neu, "bsdiff '" + old + "' '" + neu + "' '" + base + ".bsd'") ||
        !Prepare(base + ".zst", old, neu, "zstd -q -f -19 --patch-from='" + old + "' '" + neu + "' -o '" + base + ".zst'")) {
      std::fprintf(stderr, "%s: cannot prepare the patches\n", pair);
      return 1;
    }
    const Bytes oldBytes = ReadAll(old);
    const Bytes newBytes = ReadAll(neu);
    const Bytes pa = ReadAll(base + ".pa");

    // The rebuild alone, in memory.
    testfs::FakeFileSystem memory;
    memory.files["installed.otf"] = oldBytes;
    platform::MemoryResources resources;
    resources.Add("FONT_PA", kDiffId, pa);
    bool same = true;
    const std::string out = base + ".out";
    // The installed image is read before the clock starts and the result is
    // checked after it stops: what is timed starts from the installed image
    // and the difference file in memory and ends with the finished new image.
    std::unique_ptr<COpenTypeManager> manager;
    int32_t result = 0;
    auto checkRebuilt = [&] {
      if (manager == nullptr) return;
      same = same && result == 0 && manager->NewImageSize() == newBytes.size() &&
             std::equal(newBytes.begin(), newBytes.end(), manager->NewImage());
      manager.reset();
    };
    const std::vector<double> decode = Medians(
        runs, {{[&] {
                  if (result == 0) result = manager->RebuildFont("installed.otf", kDiffId, nullptr, nullptr, 1, 0);
                },
                [&] {
                  checkRebuilt();
                  manager = std::make_unique<COpenTypeManager>(memory, resources, nullptr);
                  result = manager->ReadFont("installed.otf", nullptr, nullptr, 1, 0);
                  if (result == 0) result = manager->TakeLicenseTexts();
                }},
               {[&] { Run("xdelta3 -d -f -s '" + old + "' '" + base + ".xd3' '" + out + "'"); }},
               {[&] { Run("bspatch '" + old + "' '" + out + "' '" + base + ".bsd'"); }},
               {[&] { Run("zstd -q -d -f --patch-from='" + old + "' '" + base + ".zst' -o '" + out + "'"); }}});
    checkRebuilt();
    const double rebuild = decode[0], xdelta = decode[1], bspatch = decode[2], zstd = decode[3];
    if (!same) {
      std::fprintf(stderr, "%s: the rebuild does not give the new font\n", pair);
      return 1;
    }
    if (ReadAll(out) != newBytes) {
      std::fprintf(stderr, "%s: a peer decode differs\n", pair);
      return 1;
    }
    double fastestPeer = std::min({xdelta, bspatch, zstd});

    // The whole update on disk against the I/O floor, both through the
    // host's file system and its temporary folder.
    platform::FileSystem& files = platform::HostFileSystem();
    const std::string installed = base + "-installed.otf";
    SingleTarget target;
    const std::string temporary = base + "-floor.tmp";
    int32_t updateResult = 0;
    // The floor runs first in each round, so that the installed file holds
    // what the last update wrote when the rounds are over.
    const std::vector<double> disk = Medians(
        runs, {{[&] {
                  Bytes image(oldBytes.size() + 1);
                  auto in = files.OpenRead(installed, platform::Share::kExclusive);
                  in->Read(image.data(), oldBytes.size());
                  in->Close();
                  auto temp = files.CreateExclusive(temporary);
                  temp->Write(image.data(), oldBytes.size());
                  temp->Close();
                  files.CopyOver(temporary, installed);
                  auto back = files.OpenRead(installed, platform::Share::kReadWrite);
                  back->Read(image.data(), oldBytes.size());
                  back->Close();
                  files.Remove(temporary);
                },
                [&] { WriteAll(installed, oldBytes); }},
               {[&] {
                  COpenTypeManager manager(files, resources, &target);
                  int32_t result = manager.UpdateFont(installed.c_str(), 0, nullptr, nullptr, 1, 0);
                  if (result != 0) updateResult = result;
                },
                [&] { WriteAll(installed, oldBytes); }}});
    const double floor = disk[0], update = disk[1];
    if (updateResult != 0 || ReadAll(installed) != newBytes) {
      std::fprintf(stderr, "%s: the update failed (%d)\n", pair, static_cast<int>(updateResult));
      return 1;
    }
    std::remove(installed.c_str());

    std::printf("%-13s %7.2fms %7.2fms %7.2fms %7.2fms %9zu %7.1fx | %7.2fms %7.2fms %6.2fx\n", pair, rebuild, xdelta,
                bspatch, zstd, pa.size(), fastestPeer / rebuild, update, floor, update / floor);
  }
  return 0;
}
