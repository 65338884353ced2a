// Finds, for a stretch of a new table, the longest run of bytes that the old
// table of the same tag holds anywhere, whatever its offset there.
#ifndef OTU_TOOLS_OTPA_MAKE_MATCHER_H_
#define OTU_TOOLS_OTPA_MAKE_MATCHER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace maker {

struct Match {
  uint32_t source = 0;  // offset in the old table
  uint32_t length = 0;  // 0: nothing useful found
};

class OldTableIndex {
 public:
  // Keeps a reference to old[0, length), which must outlive the index.
  OldTableIndex(const uint8_t* old, size_t length);

  // The longest prefix of pattern[0, n) found in the old table. Prefixes of
  // one byte are not looked for: a copy that short never pays.
  Match LongestMatch(const uint8_t* pattern, size_t n) const;

  const uint8_t* old() const { return old_; }
  size_t length() const { return length_; }

 private:
  static constexpr size_t kPairCount = 65536;

  const uint8_t* old_;
  size_t length_;
  std::vector<int32_t> suffixes_;
  // Suffixes starting with the byte pair k occupy suffixes_[pairBegin_[k],
  // pairEnd_[k]): the first two steps of every search cost one lookup.
  std::vector<int32_t> pairBegin_;
  std::vector<int32_t> pairEnd_;
};

}  // namespace maker

#endif  // OTU_TOOLS_OTPA_MAKE_MATCHER_H_
