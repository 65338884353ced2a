#include "tools/otpa/make_matcher.h"

#include <algorithm>

#include "tools/otpa/make_suffix_array.h"

namespace maker {

OldTableIndex::OldTableIndex(const uint8_t* old, size_t length)
    : old_(old), length_(length), suffixes_(BuildSuffixArray(old, length)) {
  if (length < 2) return;
  pairBegin_.assign(kPairCount, 0);
  pairEnd_.assign(kPairCount, 0);
  // The one-byte suffix at the end sorts just before the pairs it starts.
  std::vector<int32_t> count(kPairCount, 0);
  for (size_t i = 0; i + 1 < length; ++i) ++count[old[i] << 8 | old[i + 1]];
  const size_t loneBytePair = static_cast<size_t>(old[length - 1]) << 8;
  int32_t next = 0;
  for (size_t k = 0; k < kPairCount; ++k) {
    if (k == loneBytePair) ++next;
    pairBegin_[k] = next;
    next += count[k];
    pairEnd_[k] = next;
  }
}

Match OldTableIndex::LongestMatch(const uint8_t* pattern, size_t n) const {
  if (n < 2 || length_ < 2) return Match();
  const size_t pair = pattern[0] << 8 | pattern[1];
  const int64_t begin = pairBegin_[pair];
  const int64_t end = pairEnd_[pair];
  if (begin == end) return Match();

  // Binary search for where the pattern would sort; the longest match is one
  // of its two neighbours. Whatever both bounds share with the pattern, every
  // suffix between them shares too, so comparisons start past it.
  int64_t below = begin - 1;  // outside the pair's range: shares 2 bytes
  int64_t above = end;
  size_t belowShared = 2;
  size_t aboveShared = 2;
  while (above - below > 1) {
    const int64_t middle = below + (above - below) / 2;
    const size_t start = static_cast<size_t>(suffixes_[middle]);
    const uint8_t* suffix = old_ + start;
    const size_t limit = std::min(n, length_ - start);
    size_t shared = std::min(belowShared, aboveShared);
    while (shared < limit && pattern[shared] == suffix[shared]) ++shared;
    if (shared == n) return Match{static_cast<uint32_t>(start), static_cast<uint32_t>(n)};
    const bool patternAfter = shared == limit || pattern[shared] > suffix[shared];
    if (patternAfter) {
      below = middle;
      belowShared = shared;
    } else {
      above = middle;
      aboveShared = shared;
    }
  }
  Match best;
  if (below >= begin) best = Match{static_cast<uint32_t>(suffixes_[below]), static_cast<uint32_t>(belowShared)};
  if (above < end && aboveShared > best.length) {
    best = Match{static_cast<uint32_t>(suffixes_[above]), static_cast<uint32_t>(aboveShared)};
  }
  return best;
}

}  // namespace maker
