#include "tools/otpa/make_parse.h"

#include <algorithm>

#include "engine/sabun_format.h"
#include "tools/otpa/make_matcher.h"

namespace maker {
namespace {

constexpr uint32_t kCopyCost = sabun::kCopyRunSize;
constexpr uint32_t kInsertRunCost = sabun::kInsertRunHeaderSize;
// Larger than any real cost, small enough that adding a run's cost to it
// cannot wrap.
constexpr uint32_t kUnreachable = 0x7FFFFFFF;

// Inside a match at least this long the rest of the same match is taken as
// the longest: a longer one elsewhere would have to share all these bytes.
// Searching again only near its end finds where another match takes over.
constexpr uint32_t kTrustedMatchLength = 48;

// reach[i]: how far a copy starting at new offset i can go; source[i]: from
// where. Never shrinks by more than one per step (a match that starts one
// byte later is the same match one byte shorter), so reach never decreases.
void FindMatches(const OldTableIndex& index, const uint8_t* neu, size_t newLength, std::vector<uint32_t>* reach,
                 std::vector<uint32_t>* source) {
  reach->resize(newLength);
  source->resize(newLength);
  Match current;
  for (size_t i = 0; i < newLength; ++i) {
    if (current.length > 0) {
      ++current.source;
      --current.length;
    }
    if (current.length < kTrustedMatchLength) {
      const Match found = index.LongestMatch(neu + i, newLength - i);
      if (found.length > current.length) current = found;
    }
    (*reach)[i] = static_cast<uint32_t>(i + current.length);
    (*source)[i] = current.source;
  }
}

}  // namespace

uint64_t BlockSize(const TableRuns& runs) {
  uint64_t size = 2 * sabun::kCountSize + kCopyCost * uint64_t{runs.copies.size()};
  for (const InsertRun& run : runs.inserts) size += kInsertRunCost + uint64_t{run.length};
  return size;
}

TableRuns ParseTable(const uint8_t* old, size_t oldLength, const uint8_t* neu, size_t newLength) {
  return ParseTable(OldTableIndex(old, oldLength), neu, newLength);
}

TableRuns ParseTable(const OldTableIndex& index, const uint8_t* neu, size_t newLength) {
  std::vector<uint32_t> reach, source;
  FindMatches(index, neu, newLength, &reach, &source);

  // Least cost of the first j new bytes, once ending in a copy run and once in
  // an insert run. A copy run ending at j can start at any i < j with
  // reach[i] >= j; since reach never decreases, those i form a window that
  // only slides forward, and a monotone queue keeps its cheapest start.
  const size_t m = newLength;
  std::vector<uint32_t> endCopy(m + 1), endInsert(m + 1), copyStart(m + 1);
  std::vector<uint8_t> insertOpensRun(m + 1);
  endCopy[0] = 0;
  endInsert[0] = kUnreachable;
  auto cheapest = [&](size_t i) { return std::min(endCopy[i], endInsert[i]); };
  std::vector<uint32_t> window(m);
  size_t head = 0, tail = 0;
  for (size_t j = 1; j <= m; ++j) {
    const uint32_t extend = endInsert[j - 1] + 1;
    const uint32_t open = endCopy[j - 1] + kInsertRunCost + 1;
    insertOpensRun[j] = open < extend;
    endInsert[j] = std::min(open, extend);

    const size_t i = j - 1;
    if (reach[i] >= j) {
      while (tail > head && cheapest(window[tail - 1]) >= cheapest(i)) --tail;
      window[tail++] = static_cast<uint32_t>(i);
    }
    while (tail > head && reach[window[head]] < j) ++head;
    if (tail > head) {
      copyStart[j] = window[head];
      endCopy[j] = cheapest(window[head]) + kCopyCost;
    } else {
      endCopy[j] = kUnreachable;
    }
  }

  TableRuns runs;
  size_t j = m;
  bool inCopy = endCopy[m] <= endInsert[m];
  while (j > 0) {
    if (inCopy) {
      const size_t i = copyStart[j];
      runs.copies.push_back(CopyRun{source[i], static_cast<uint32_t>(j - i), static_cast<uint32_t>(i)});
      j = i;
      inCopy = endCopy[i] <= endInsert[i];
    } else {
      const size_t end = j;
      while (!insertOpensRun[j]) --j;
      --j;
      runs.inserts.push_back(InsertRun{static_cast<uint32_t>(j), static_cast<uint32_t>(end - j)});
      inCopy = true;
    }
  }
  std::reverse(runs.copies.begin(), runs.copies.end());
  std::reverse(runs.inserts.begin(), runs.inserts.end());
  return runs;
}

}  // namespace maker
