#include "tools/otpa/make_suffix_array.h"

#include <algorithm>

namespace maker {
namespace {

// Below this length a comparison sort is quicker than the induced sort's
// bucket set-up, and it ends the recursion.
constexpr int32_t kComparisonSortBelow = 16;

template <typename Symbol>
std::vector<int32_t> SortByComparison(const Symbol* s, int32_t n) {
  std::vector<int32_t> sa(n);
  for (int32_t i = 0; i < n; ++i) sa[i] = i;
  std::sort(sa.begin(), sa.end(), [&](int32_t a, int32_t b) {
    while (a < n && b < n && s[a] == s[b]) {
      ++a;
      ++b;
    }
    if (a == n) return b != n;
    if (b == n) return false;
    return s[a] < s[b];
  });
  return sa;
}

// Induced sorting (SA-IS) over symbols 0 .. upper. Suffix i is S-type when it
// sorts before suffix i + 1, L-type otherwise; the leftmost S-type positions
// (LMS) are sorted first, recursively on their names, and induce the rest.
template <typename Symbol>
std::vector<int32_t> SortByInduction(const Symbol* s, int32_t n, int32_t upper) {
  if (n < kComparisonSortBelow) return SortByComparison(s, n);

  std::vector<int32_t> sa(n);
  std::vector<bool> sType(n);
  for (int32_t i = n - 2; i >= 0; --i) {
    sType[i] = s[i] == s[i + 1] ? sType[i + 1] : s[i] < s[i + 1];
  }
  // bucketStart[c]: first slot of symbol c; sStart[c]: first slot of its
  // S-type suffixes (after the L-type ones).
  std::vector<int32_t> bucketStart(upper + 2, 0), sStart(upper + 1, 0);
  for (int32_t i = 0; i < n; ++i) {
    if (sType[i]) {
      ++bucketStart[s[i] + 1];
    } else {
      ++sStart[s[i]];
    }
  }
  for (int32_t c = 0; c <= upper; ++c) {
    sStart[c] += bucketStart[c];
    bucketStart[c + 1] += sStart[c];
  }

  std::vector<int32_t> slot(upper + 2);
  auto induce = [&](const std::vector<int32_t>& lms) {
    std::fill(sa.begin(), sa.end(), -1);
    std::copy(sStart.begin(), sStart.end(), slot.begin());
    for (int32_t p : lms) sa[slot[s[p]]++] = p;
    std::copy(bucketStart.begin(), bucketStart.end(), slot.begin());
    sa[slot[s[n - 1]]++] = n - 1;
    for (int32_t i = 0; i < n; ++i) {
      int32_t p = sa[i];
      if (p >= 1 && !sType[p - 1]) sa[slot[s[p - 1]]++] = p - 1;
    }
    std::copy(bucketStart.begin(), bucketStart.end(), slot.begin());
    for (int32_t i = n - 1; i >= 0; --i) {
      int32_t p = sa[i];
      if (p >= 1 && sType[p - 1]) sa[--slot[s[p - 1] + 1]] = p - 1;
    }
  };

  std::vector<int32_t> lmsNumber(n, -1);
  std::vector<int32_t> lms;
  for (int32_t i = 1; i < n; ++i) {
    if (!sType[i - 1] && sType[i]) {
      lmsNumber[i] = static_cast<int32_t>(lms.size());
      lms.push_back(i);
    }
  }
  induce(lms);
  const int32_t m = static_cast<int32_t>(lms.size());
  if (m == 0) return sa;

  // Name each LMS substring (up to the next LMS position) by its rank among
  // distinct substrings, in text order, and sort that reduced text.
  std::vector<int32_t> sortedLms;
  sortedLms.reserve(m);
  for (int32_t p : sa) {
    if (lmsNumber[p] != -1) sortedLms.push_back(p);
  }
  std::vector<int32_t> reduced(m);
  int32_t name = 0;
  reduced[lmsNumber[sortedLms[0]]] = 0;
  for (int32_t k = 1; k < m; ++k) {
    int32_t a = sortedLms[k - 1], b = sortedLms[k];
    const int32_t endA = lmsNumber[a] + 1 < m ? lms[lmsNumber[a] + 1] : n;
    const int32_t endB = lmsNumber[b] + 1 < m ? lms[lmsNumber[b] + 1] : n;
    bool same = endA - a == endB - b;
    if (same) {
      while (a < endA && s[a] == s[b]) {
        ++a;
        ++b;
      }
      same = a != n && b != n && s[a] == s[b];
    }
    if (!same) ++name;
    reduced[lmsNumber[sortedLms[k]]] = name;
  }
  lmsNumber.clear();
  lmsNumber.shrink_to_fit();

  const std::vector<int32_t> reducedSa = SortByInduction(reduced.data(), m, name);
  for (int32_t k = 0; k < m; ++k) sortedLms[k] = lms[reducedSa[k]];
  induce(sortedLms);
  return sa;
}

}  // namespace

std::vector<int32_t> BuildSuffixArray(const uint8_t* text, size_t length) {
  return SortByInduction(text, static_cast<int32_t>(length), 255);
}

}  // namespace maker
