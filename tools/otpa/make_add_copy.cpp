#include "tools/otpa/make_add_copy.h"

#include <libdeflate.h>

#include <algorithm>

namespace maker {
namespace {

void AppendVarU32(std::vector<uint8_t>* out, uint32_t value) {
  while (value >= 0x80) {
    out->push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out->push_back(static_cast<uint8_t>(value));
}

uint32_t Zigzag(int64_t value) {
  return static_cast<uint32_t>(value < 0 ? -2 * value - 1 : 2 * value);
}

// Collects the steps; an old position carried from one step to the next.
class StepWriter {
 public:
  StepWriter(const uint8_t* old, const uint8_t* neu, AddCopyStreams* out) : old_(old), neu_(neu), out_(out) {}

  // new[at, at + add) from old[oldAt, oldAt + add) plus differences, then
  // new[at + add, at + add + extra) as extra bytes. A step that makes
  // nothing is left out: where the next one reads the old table is said
  // by its own seek.
  void Step(size_t at, size_t oldAt, size_t add, size_t extra) {
    if (add + extra == 0) return;
    // A step that adds nothing leaves the old position where it is.
    if (add == 0) oldAt = oldCursor_;
    AppendVarU32(&out_->control, Zigzag(static_cast<int64_t>(oldAt) - static_cast<int64_t>(oldCursor_)));
    AppendVarU32(&out_->control, static_cast<uint32_t>(add));
    AppendVarU32(&out_->control, static_cast<uint32_t>(extra));
    for (size_t k = 0; k < add; ++k) out_->differences.push_back(static_cast<uint8_t>(neu_[at + k] - old_[oldAt + k]));
    out_->extra.insert(out_->extra.end(), neu_ + at + add, neu_ + at + add + extra);
    oldCursor_ = oldAt + add;
  }

 private:
  const uint8_t* old_;
  const uint8_t* neu_;
  AddCopyStreams* out_;
  size_t oldCursor_ = 0;
};

constexpr int kLevel = 12;  // libdeflate's best

// A new match is taken once it is longer by this much than what the current
// alignment already gives at the same place: a shorter gain would cost a
// step for bytes the differences carry at almost no cost.
constexpr int64_t kBetterBy = 8;

}  // namespace

AddCopyStreams MatchTable(const uint8_t* old, size_t oldLength, const uint8_t* neu, size_t newLength) {
  return MatchTable(OldTableIndex(old, oldLength), neu, newLength);
}

AddCopyStreams MatchTable(const OldTableIndex& index, const uint8_t* neu, size_t newLength) {
  const uint8_t* const old = index.old();
  const size_t oldLength = index.length();
  AddCopyStreams out;
  StepWriter steps(old, neu, &out);
  if (oldLength == 0) {
    steps.Step(0, 0, 0, newLength);
    return out;
  }
  const int64_t oldSize = static_cast<int64_t>(oldLength);
  const int64_t newSize = static_cast<int64_t>(newLength);
  // The scan of bsdiff 4: `lastScan`/`lastPos` start the stretch the current
  // alignment (`lastOffset` = old minus new position) covers; an exact match
  // at `scan` (old `pos`, `length` bytes) that beats the alignment by
  // kBetterBy ends that stretch.
  int64_t scan = 0, length = 0, pos = 0;
  int64_t lastScan = 0, lastPos = 0, lastOffset = 0;
  while (scan < newSize) {
    int64_t oldScore = 0;
    int64_t counted = scan += length;
    // Whether new byte `at` equals the old byte the current alignment puts
    // beside it.
    const auto aligned = [&](int64_t at) {
      return at + lastOffset >= 0 && at + lastOffset < oldSize && old[at + lastOffset] == neu[at];
    };
    for (; scan < newSize; ++scan) {
      const Match match = index.LongestMatch(neu + scan, static_cast<size_t>(newSize - scan));
      length = match.length;
      pos = match.source;
      for (; counted < scan + length; ++counted) oldScore += aligned(counted);
      if ((length == oldScore && length != 0) || length > oldScore + kBetterBy) break;
      oldScore -= aligned(scan);
    }
    if (length == oldScore && scan != newSize) continue;

    // How far the last alignment reaches forward, and the new match back,
    // each as long as at least half the bytes it takes are equal.
    int64_t forward = 0;
    for (int64_t same = 0, best = 0, i = 0; lastScan + i < scan && lastPos + i < oldSize;) {
      if (old[lastPos + i] == neu[lastScan + i]) ++same;
      ++i;
      if (same * 2 - i > best * 2 - forward) {
        best = same;
        forward = i;
      }
    }
    int64_t backward = 0;
    if (scan < newSize) {
      for (int64_t same = 0, best = 0, i = 1; scan >= lastScan + i && pos >= i; ++i) {
        if (old[pos - i] == neu[scan - i]) ++same;
        if (same * 2 - i > best * 2 - backward) {
          best = same;
          backward = i;
        }
      }
    }
    // Where the two overlap, the split that keeps the most equal bytes.
    if (lastScan + forward > scan - backward) {
      const int64_t overlap = lastScan + forward - (scan - backward);
      int64_t split = 0;
      for (int64_t score = 0, best = 0, i = 0; i < overlap; ++i) {
        if (neu[lastScan + forward - overlap + i] == old[lastPos + forward - overlap + i]) ++score;
        if (neu[scan - backward + i] == old[pos - backward + i]) --score;
        if (score > best) {
          best = score;
          split = i + 1;
        }
      }
      forward += split - overlap;
      backward -= split;
    }
    steps.Step(static_cast<size_t>(lastScan), static_cast<size_t>(lastPos), static_cast<size_t>(forward),
               static_cast<size_t>((scan - backward) - (lastScan + forward)));
    lastScan = scan - backward;
    lastPos = pos - backward;
    lastOffset = pos - scan;
  }
  return out;
}

AddCopyStreams AlignTable(const uint8_t* old, size_t oldLength, const uint8_t* neu, size_t newLength) {
  AddCopyStreams out;
  StepWriter steps(old, neu, &out);
  const size_t add = std::min(oldLength, newLength);
  steps.Step(0, 0, add, newLength - add);
  return out;
}

// The differences as stored: stretches of zeros, each followed by one of
// other bytes. Zeros fewer than kShortestUnchanged between other bytes go
// into the other bytes' stretch: a stretch of their own would cost more.
constexpr size_t kShortestUnchanged = 3;

std::vector<uint8_t> Stretches(const std::vector<uint8_t>& differences) {
  std::vector<uint8_t> out;
  const size_t n = differences.size();
  size_t at = 0;
  while (at < n) {
    size_t changed = at;
    while (changed < n && differences[changed] == 0) ++changed;
    size_t end = changed;
    while (end < n) {
      size_t zeros = end;
      while (zeros < n && differences[zeros] == 0) ++zeros;
      if (zeros == end) {
        ++end;
      } else if (zeros < n && zeros - end < kShortestUnchanged) {
        end = zeros;
      } else {
        break;
      }
    }
    AppendVarU32(&out, static_cast<uint32_t>(changed - at));
    AppendVarU32(&out, static_cast<uint32_t>(end - changed));
    out.insert(out.end(), differences.begin() + changed, differences.begin() + end);
    at = end;
  }
  return out;
}

bool PackAddCopy(const AddCopyStreams& streams, std::vector<uint8_t>* block) {
  const std::vector<uint8_t> stretches = Stretches(streams.differences);
  std::vector<uint8_t> raw;
  raw.reserve(streams.control.size() + stretches.size() + streams.extra.size());
  for (const std::vector<uint8_t>* part : {&streams.control, &stretches, &streams.extra}) {
    raw.insert(raw.end(), part->begin(), part->end());
  }
  block->clear();
  AppendVarU32(block, static_cast<uint32_t>(streams.control.size()));
  AppendVarU32(block, static_cast<uint32_t>(stretches.size()));
  AppendVarU32(block, static_cast<uint32_t>(streams.extra.size()));
  const size_t header = block->size();
  // libdeflate's slowest level finds a few percent smaller deflate streams
  // than zlib's best in a fraction of zopfli's time; the stream is zlib's
  // own format, which the updater inflates with zlib. The maker runs once,
  // every customer downloads its output.
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(kLevel);
  if (compressor == nullptr) return false;
  const size_t bound = libdeflate_zlib_compress_bound(compressor, raw.size());
  block->resize(header + bound);
  const size_t packed = libdeflate_zlib_compress(compressor, raw.data(), raw.size(), block->data() + header, bound);
  libdeflate_free_compressor(compressor);
  block->resize(header + packed);
  return packed != 0;
}

}  // namespace maker
