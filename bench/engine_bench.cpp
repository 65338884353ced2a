// engine_bench [--otpa OTPA] [--pair NAME]... CORPUS_DIR WORK_DIR MAKE...: for
// each real-font revision pair (or those named; .otf or .ttf),
//  - the corpus: font and difference file sizes, the runs of every block and
//    of the CFF table's block;
//  - the rebuild alone (installed image and difference file in memory to the
//    finished new image in memory, checksums included) against the whole
//    decode of xdelta3, bspatch and zstd --patch-from on the same pair, and
//    against the memory floor: one copy of the new image's bytes plus one
//    read of the difference file;
//  - `otpa apply` as a whole process against the peers' whole decode and a
//    plain `cp` of the new font;
//  - the whole update (read, rebuild, temporary file, replacement,
//    verification) against the I/O floor (read the installed file, write the
//    new one to a temporary file, copy that over the installed one, read it
//    back).
// MAKE is the command that writes a difference file, called as
// MAKE OLD NEW -o OUT: `otpa make` or `python3 tests/corpus/simple_diff.py`.
// OTPA (default: the otpa next to this program) is the one `otpa apply` runs.
// Processes are started directly (no shell), their output to /dev/null.
// Figures are medians. The runs of the figures compared with each other
// take turns, so that a slow spell of the machine falls on all of them alike.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint16_t kDiffId = 1;
const char* const kPairs[] = {"small", "outlines", "glyphs-added", "name-head", "renumbered", "redrawn"};

// Targets, as multiples.
constexpr double kRebuildOverPeers = 5.0;   // fastest peer / rebuild, at least
constexpr double kRebuildOverFloor = 3.0;   // rebuild / memory floor, at most
constexpr double kApplyOverPeer = 0.5;      // otpa apply / fastest peer's decode, at most
constexpr double kApplyOverCopy = 2.0;      // otpa apply / cp, at most
constexpr double kUpdateOverFloor = 1.5;    // UpdateFont / I/O floor, at most

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

// Pushes every buffer of a step out of the processor's caches (64 MB of
// scratch are written, twice the last-level cache of the machine the
// figures in bench/README.md come from), so that the steps compared with
// each other start alike: the rebuild's prepare checks the image it made
// before, which leaves that memory and the new font's bytes cached, and a
// step that inherits that would be measured against one that does not.
void EvictCaches() {
  static std::vector<uint64_t> scratch(size_t{64} << 17);  // 64 MB
  for (size_t k = 0; k < scratch.size(); k += 8) scratch[k] += 1;
}

// Through the shell: for the untimed preparation only.
bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Starts `args` as a process of its own (found on PATH), output to
// /dev/null, and waits for it: true when it exits with 0.
bool Spawn(const std::vector<std::string>& args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

// The runs a difference file holds: all of them, and those of the CFF block.
struct RunCounts {
  size_t all = 0;
  size_t cffCopies = 0;
  size_t cffInserts = 0;
};

bool CountRuns(const Bytes& pa, RunCounts* counts) {
  platform::MemoryResources resources;
  resources.Add("FONT_PA", kDiffId, pa);
  CMakeSabunData data(resources);
  if (data.LoadSabunData(kDiffId) == 0) return false;
  for (const auto& record : data.records) {
    counts->all += record->copyRuns.size() + record->insertRuns.size();
    if (std::strcmp(record->tagText, "CFF ") == 0) {
      counts->cffCopies = record->copyRuns.size();
      counts->cffInserts = record->insertRuns.size();
    }
  }
  return true;
}

const char* Verdict(bool met) { return met ? "" : " MISSED"; }

struct Row {
  std::string pair;
  Bytes::size_type oldSize = 0, newSize = 0, paSize = 0;
  RunCounts runs;
  double rebuild = 0, memoryFloor = 0, xdelta = 0, bspatch = 0, zstd = 0, apply = 0, copy = 0;
  double update = 0, ioFloor = 0;
  double FastestPeer() const { return std::min({xdelta, bspatch, zstd}); }
};

// CORPUS/PAIR/SIDE.otf, or .ttf for TrueType pairs; empty when neither exists.
std::string FontPath(const std::string& corpus, const std::string& pair, const char* side) {
  for (const char* extension : {".otf", ".ttf"}) {
    const std::string path = corpus + "/" + pair + "/" + side + extension;
    if (std::filesystem::is_regular_file(path)) return path;
  }
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  std::string otpa;
  std::vector<std::string> pairs;
  int first = 1;
  for (; first + 1 < argc; first += 2) {
    if (std::strcmp(argv[first], "--otpa") == 0) {
      otpa = argv[first + 1];
    } else if (std::strcmp(argv[first], "--pair") == 0) {
      pairs.push_back(argv[first + 1]);
    } else {
      break;
    }
  }
  if (otpa.empty()) {
    std::error_code error;
    otpa = (std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / "otpa").string();
  }
  if (argc - first < 3) {
    std::fprintf(stderr, "usage: engine_bench [--otpa OTPA] [--pair NAME]... CORPUS_DIR WORK_DIR MAKE...\n");
    return 2;
  }
  const std::string corpus = argv[first];
  const std::string work = argv[first + 1];
  // The Noto CJK corpus's pairs in their order, or every pair of another
  // corpus (the makers corpus), by name.
  if (pairs.empty()) {
    for (const char* pair : kPairs) {
      if (!FontPath(corpus, pair, "old").empty()) pairs.push_back(pair);
    }
  }
  if (pairs.empty()) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(corpus, error)) {
      if (!FontPath(corpus, entry.path().filename().string(), "old").empty()) {
        pairs.push_back(entry.path().filename().string());
      }
    }
    std::sort(pairs.begin(), pairs.end());
  }
  std::string make;
  for (int k = first + 2; k < argc; ++k) make += std::string(k > first + 2 ? " '" : "'") + argv[k] + "'";
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (!Run("mkdir -p '" + work + "'")) return 1;
  const int runs = 15;

  std::vector<Row> rows;
  for (const std::string& name : pairs) {
    const char* pair = name.c_str();
    Row row;
    row.pair = pair;
    const std::string old = FontPath(corpus, pair, "old");
    const std::string neu = FontPath(corpus, pair, "new");
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
    row.oldSize = oldBytes.size();
    row.newSize = newBytes.size();
    row.paSize = pa.size();
    if (!CountRuns(pa, &row.runs)) {
      std::fprintf(stderr, "%s: the difference file does not load\n", pair);
      return 1;
    }

    // The rebuild alone, in memory.
    testfs::FakeFileSystem memory;
    memory.files["installed.otf"] = oldBytes;
    platform::MemoryResources resources;
    resources.Add("FONT_PA", kDiffId, pa);
    bool same = true;
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
    // The memory floor copies into memory it has touched before, so that it
    // pays no page faults. Both it and the rebuild start with their buffers
    // out of the caches but for what they copy from, which was just read:
    // the installed image (read by ReadFont, as in an update) and the new
    // font's bytes.
    Bytes floorImage(newBytes.size(), 0);
    volatile uint64_t floorSink = 0;
    const std::string xdeltaOut = base + ".xdelta3.out", bspatchOut = base + ".bspatch.out",
                      zstdOut = base + ".zstd.out", applyOut = base + ".apply.out", copyOut = base + ".cp.out";
    // Every process writes a file that does not exist yet.
    auto removing = [](const std::string& path) { return [path] { std::remove(path.c_str()); }; };
    const std::vector<double> decode = Medians(
        runs, {{[&] {
                  if (result == 0) result = manager->RebuildFont("installed.otf", kDiffId, nullptr, nullptr, 1, 0);
                },
                [&] {
                  checkRebuilt();
                  manager = std::make_unique<COpenTypeManager>(memory, resources, nullptr);
                  manager->PrepareFor(kDiffId);
                  EvictCaches();
                  result = manager->ReadFont("installed.otf", nullptr, nullptr, 1, 0);
                  if (result == 0) result = manager->TakeLicenseTexts();
                }},
               {[&] {
                  std::memcpy(floorImage.data(), newBytes.data(), newBytes.size());
                  uint64_t sum = 0;
                  for (size_t k = 0; k + 8 <= pa.size(); k += 8) {
                    uint64_t word;
                    std::memcpy(&word, pa.data() + k, 8);
                    sum += word;
                  }
                  floorSink = sum;
                },
                [&] {
                  EvictCaches();
                  uint64_t sum = 0;
                  for (size_t k = 0; k < newBytes.size(); k += 64) sum += newBytes[k];
                  floorSink = sum;
                }},
               {[&] { Spawn({"xdelta3", "-d", "-f", "-s", old, base + ".xd3", xdeltaOut}); }, removing(xdeltaOut)},
               {[&] { Spawn({"bspatch", old, bspatchOut, base + ".bsd"}); }, removing(bspatchOut)},
               {[&] { Spawn({"zstd", "-q", "-d", "-f", "--patch-from=" + old, base + ".zst", "-o", zstdOut}); },
                removing(zstdOut)},
               {[&] { Spawn({otpa, "apply", old, base + ".pa", "-o", applyOut}); }, removing(applyOut)},
               {[&] { Spawn({"cp", neu, copyOut}); }, removing(copyOut)}});
    checkRebuilt();
    row.rebuild = decode[0];
    row.memoryFloor = decode[1];
    row.xdelta = decode[2];
    row.bspatch = decode[3];
    row.zstd = decode[4];
    row.apply = decode[5];
    row.copy = decode[6];
    if (!same) {
      std::fprintf(stderr, "%s: the rebuild does not give the new font\n", pair);
      return 1;
    }
    for (const std::string& out : {xdeltaOut, bspatchOut, zstdOut, applyOut, copyOut}) {
      if (ReadAll(out) != newBytes) {
        std::fprintf(stderr, "%s: %s differs from the new font\n", pair, out.c_str());
        return 1;
      }
      std::remove(out.c_str());
    }

    // The whole update on disk against the I/O floor, both through the
    // host's file system and its temporary folder. The floor reads the
    // installed font, writes the new one to a temporary file, copies that
    // over the installed one and reads it back, into memory it has touched
    // before.
    platform::FileSystem& files = platform::HostFileSystem();
    const std::string installed = base + "-installed.otf";
    SingleTarget target;
    const std::string temporary = base + "-floor.tmp";
    int32_t updateResult = 0;
    Bytes image(std::max(oldBytes.size(), newBytes.size()) + 1, 0);
    // The floor runs first in each round, so that the installed file holds
    // what the last update wrote when the rounds are over.
    const std::vector<double> disk = Medians(
        runs, {{[&] {
                  auto in = files.OpenRead(installed, platform::Share::kRead);
                  in->Read(image.data(), oldBytes.size());
                  in->Close();
                  auto temp = files.CreateExclusive(temporary);
                  temp->Write(newBytes.data(), newBytes.size());
                  temp->Close();
                  files.CopyOver(temporary, installed);
                  auto back = files.OpenRead(installed, platform::Share::kReadWrite);
                  back->Read(image.data(), newBytes.size());
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
    row.ioFloor = disk[0];
    row.update = disk[1];
    if (updateResult != 0 || ReadAll(installed) != newBytes) {
      std::fprintf(stderr, "%s: the update failed (%d)\n", pair, static_cast<int>(updateResult));
      return 1;
    }
    std::remove(installed.c_str());
    rows.push_back(row);
    std::fprintf(stderr, "%s measured\n", pair);
  }

  std::printf("corpus\n%-13s %9s %9s %9s %7s %9s %9s\n", "pair", "old", "new", "pa bytes", "runs", "CFF copy",
              "CFF ins");
  for (const Row& row : rows) {
    std::printf("%-13s %9zu %9zu %9zu %7zu %9zu %9zu\n", row.pair.c_str(), row.oldSize, row.newSize, row.paSize,
                row.runs.all, row.runs.cffCopies, row.runs.cffInserts);
  }
  std::printf("\nrebuild in memory (targets: fastest peer / rebuild >= %.0f, rebuild / memory floor <= %.0f)\n",
              kRebuildOverPeers, kRebuildOverFloor);
  std::printf("%-13s %9s %9s %9s %9s %9s %8s %8s %9s\n", "pair", "rebuild", "mem floor", "xdelta3", "bspatch", "zstd",
              "peer/reb", "reb/flr", "runs/ms");
  for (const Row& row : rows) {
    const double overPeers = row.FastestPeer() / row.rebuild, overFloor = row.rebuild / row.memoryFloor;
    std::printf("%-13s %7.2fms %7.2fms %7.2fms %7.2fms %7.2fms %7.1fx %7.2fx %9.0f%s%s\n", row.pair.c_str(),
                row.rebuild, row.memoryFloor, row.xdelta, row.bspatch, row.zstd, overPeers, overFloor,
                static_cast<double>(row.runs.all) / row.rebuild, Verdict(overPeers >= kRebuildOverPeers),
                Verdict(overFloor <= kRebuildOverFloor));
  }
  std::printf("\notpa apply as a process (targets: apply / fastest peer <= %.1f, apply / cp <= %.0f)\n",
              kApplyOverPeer, kApplyOverCopy);
  std::printf("%-13s %9s %9s %9s %9s %8s\n", "pair", "apply", "peer", "cp", "apl/peer", "apl/cp");
  for (const Row& row : rows) {
    const double overPeer = row.apply / row.FastestPeer(), overCopy = row.apply / row.copy;
    std::printf("%-13s %7.2fms %7.2fms %7.2fms %8.2fx %7.2fx%s%s\n", row.pair.c_str(), row.apply, row.FastestPeer(),
                row.copy, overPeer, overCopy, Verdict(overPeer <= kApplyOverPeer), Verdict(overCopy <= kApplyOverCopy));
  }
  std::printf("\nUpdateFont (target: UpdateFont / I/O floor <= %.1f)\n", kUpdateOverFloor);
  std::printf("%-13s %9s %9s %8s\n", "pair", "update", "floor", "ratio");
  for (const Row& row : rows) {
    const double ratio = row.update / row.ioFloor;
    std::printf("%-13s %7.2fms %7.2fms %7.2fx%s\n", row.pair.c_str(), row.update, row.ioFloor, ratio,
                Verdict(ratio <= kUpdateOverFloor));
  }
  return 0;
}
