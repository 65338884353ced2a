#include "engine/name_copies.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/name_table.h"

namespace {

using Range = std::pair<uint64_t, uint64_t>;  // [first, second)

// The non-empty strings of `strings` for which `wanted` holds, as ranges
// sorted by their start.
template <typename Predicate>
std::vector<Range> StringRanges(const std::vector<NameString>& strings, Predicate wanted) {
  std::vector<Range> ranges;
  for (const NameString& string : strings) {
    if (string.length != 0 && wanted(string)) ranges.emplace_back(string.start, uint64_t{string.start} + string.length);
  }
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

// Sorted ranges merged where they touch or overlap.
std::vector<Range> Merged(const std::vector<Range>& sorted) {
  std::vector<Range> merged;
  for (const Range& range : sorted) {
    if (!merged.empty() && range.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

// True when [from, to) lies inside one range of `merged`.
bool Covered(const std::vector<Range>& merged, uint64_t from, uint64_t to) {
  auto after = std::upper_bound(merged.begin(), merged.end(), Range{from, UINT64_MAX});
  return after != merged.begin() && std::prev(after)->second >= to;
}

// True when [from, to) shares a byte with a range of `merged`.
bool Meets(const std::vector<Range>& merged, uint64_t from, uint64_t to) {
  auto after = std::upper_bound(merged.begin(), merged.end(), Range{from, UINT64_MAX});
  if (after != merged.begin() && std::prev(after)->second > from) return true;
  return after != merged.end() && after->first < to;
}

bool IsLicence(const NameString& string) { return string.nameID == kLicenseNameId; }

}  // namespace

bool NameCopiesFitInstalled(const CopyRunList& copies, const uint8_t* installed, size_t installedLength,
                            const uint8_t* rebuilt, size_t rebuiltLength) {
  std::vector<NameString> installedStrings, rebuiltStrings;
  if (!ReadNameStrings(installed, installedLength, &installedStrings) ||
      !ReadNameStrings(rebuilt, rebuiltLength, &rebuiltStrings)) {
    return false;
  }
  const auto any = [](const NameString&) { return true; };
  const auto others = [](const NameString& string) { return !IsLicence(string); };
  std::vector<uint64_t> installedStarts;
  for (const Range& range : StringRanges(installedStrings, any)) installedStarts.push_back(range.first);
  std::vector<uint64_t> rebuiltStarts;
  for (const Range& range : StringRanges(rebuiltStrings, any)) rebuiltStarts.push_back(range.first);
  const std::vector<Range> installedLicences = Merged(StringRanges(installedStrings, IsLicence));
  const std::vector<Range> rebuiltLicences = Merged(StringRanges(rebuiltStrings, IsLicence));
  const std::vector<Range> rebuiltOthers = Merged(StringRanges(rebuiltStrings, others));

  for (const Range& licence : rebuiltLicences) {
    if (Meets(rebuiltOthers, licence.first, licence.second)) return false;
  }
  for (const COldTagObject& run : copies) {
    if (run.length <= 0) continue;
    const uint64_t source = static_cast<uint32_t>(run.sourceOffset);
    const uint64_t destination = static_cast<uint32_t>(run.destinationOffset);
    const uint64_t length = static_cast<uint32_t>(run.length);
    for (auto start = std::lower_bound(rebuiltStarts.begin(), rebuiltStarts.end(), destination);
         start != rebuiltStarts.end() && *start < destination + length; ++start) {
      if (!std::binary_search(installedStarts.begin(), installedStarts.end(), source + (*start - destination))) {
        return false;
      }
    }
    // The merged ranges ascend by their ends too.
    for (auto licence = std::upper_bound(installedLicences.begin(), installedLicences.end(), source,
                                         [](uint64_t at, const Range& range) { return at < range.second; });
         licence != installedLicences.end() && licence->first < source + length; ++licence) {
      const uint64_t from = std::max(licence->first, source);
      const uint64_t to = std::min(licence->second, source + length);
      if (!Covered(rebuiltLicences, destination + (from - source), destination + (to - source))) return false;
    }
  }
  return true;
}
