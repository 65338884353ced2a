// The maker's matching and run choice: suffix order, longest matches and the
// cheapest block, each against a slow reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "tools/otpa/make_matcher.h"
#include "tools/otpa/make_parse.h"
#include "tools/otpa/make_suffix_array.h"

namespace maker {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(std::mt19937* random, size_t n, int alphabet) {
  Bytes bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>((*random)() % alphabet);
  return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

size_t CommonPrefix(const uint8_t* a, size_t aLength, const uint8_t* b, size_t bLength) {
  size_t k = 0;
  while (k < aLength && k < bLength && a[k] == b[k]) ++k;
  return k;
}

std::vector<int32_t> SortedSuffixes(const Bytes& text) {
  std::vector<int32_t> order(text.size());
  for (size_t i = 0; i < text.size(); ++i) order[i] = static_cast<int32_t>(i);
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
  });
  return order;
}

TEST(SuffixArrayTest, MatchesComparisonSortOnRepetitiveAndRandomTexts) {
  std::mt19937 random(7);
  std::vector<Bytes> texts = {{}, {5}, {1, 1}, {2, 1}, Bytes(100, 0), Bytes(37, 255)};
  Bytes periodic;
  for (int i = 0; i < 300; ++i) periodic.push_back(static_cast<uint8_t>("abcab"[i % 5]));
  texts.push_back(periodic);
  for (size_t n : {15, 16, 17, 64, 500, 3000}) {
    for (int alphabet : {2, 3, 256}) texts.push_back(RandomBytes(&random, n, alphabet));
  }
  for (const Bytes& text : texts) {
    EXPECT_EQ(SortedSuffixes(text), BuildSuffixArray(text.data(), text.size())) << "length " << text.size();
  }
}

TEST(OldTableIndexTest, FindsTheLongestMatchAnywhere) {
  std::mt19937 random(11);
  const Bytes old = RandomBytes(&random, 2000, 3);
  const OldTableIndex index(old.data(), old.size());
  for (int trial = 0; trial < 400; ++trial) {
    const Bytes pattern = trial % 2 ? RandomBytes(&random, 1 + random() % 40, 3)
                                    : Slice(old, trial, trial + 1 + random() % 60);
    size_t longest = 0;
    for (size_t s = 0; s < old.size(); ++s) {
      longest = std::max(longest, CommonPrefix(pattern.data(), pattern.size(), old.data() + s, old.size() - s));
    }
    const Match match = index.LongestMatch(pattern.data(), pattern.size());
    ASSERT_EQ(longest < 2 ? 0 : longest, match.length) << "trial " << trial;
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.begin() + match.length, old.begin() + match.source));
  }
}

TEST(OldTableIndexTest, ReachesTheLastByteOfTheOldTable) {
  const Bytes old = {9, 1, 2, 3};
  const OldTableIndex index(old.data(), old.size());
  const Bytes pattern = {2, 3, 4};
  const Match match = index.LongestMatch(pattern.data(), pattern.size());
  EXPECT_EQ(2u, match.source);
  EXPECT_EQ(2u, match.length);
  const Bytes tooShort = {3, 7};
  EXPECT_EQ(0u, index.LongestMatch(tooShort.data(), tooShort.size()).length);
}

// Runs that rebuild `neu` exactly, in the order and coverage the format asks.
void ExpectRebuilds(const Bytes& old, const Bytes& neu, const TableRuns& runs) {
  Bytes rebuilt(neu.size());
  std::vector<int> covered(neu.size(), 0);
  // Writes one run of `length` bytes from `from` (old or new bytes) at its
  // destination; runs of one kind must ascend.
  auto write = [&](const Bytes& from, uint32_t source, uint32_t length, uint32_t destination,
                   int64_t* previous) {
    ASSERT_GT(length, 0u);
    ASSERT_LE(uint64_t{source} + length, from.size());
    ASSERT_LE(uint64_t{destination} + length, neu.size());
    EXPECT_GT(int64_t{destination}, *previous);
    *previous = destination;
    std::copy_n(from.begin() + source, length, rebuilt.begin() + destination);
    for (uint32_t b = 0; b < length; ++b) ++covered[destination + b];
  };
  int64_t previousCopy = -1, previousInsert = -1;
  for (const CopyRun& run : runs.copies) write(old, run.source, run.length, run.destination, &previousCopy);
  for (const InsertRun& run : runs.inserts) {
    write(neu, run.destination, run.length, run.destination, &previousInsert);
  }
  EXPECT_EQ(std::vector<int>(neu.size(), 1), covered);
  EXPECT_EQ(neu, rebuilt);
}

// The least block size, by brute force over every copy length at every
// position and the longest matches found by direct comparison.
uint64_t CheapestBlock(const Bytes& old, const Bytes& neu) {
  const uint64_t unreachable = 1u << 30;
  const size_t m = neu.size();
  std::vector<size_t> longest(m, 0);
  for (size_t i = 0; i < m; ++i) {
    for (size_t s = 0; s < old.size(); ++s) {
      longest[i] = std::max(longest[i], CommonPrefix(neu.data() + i, m - i, old.data() + s, old.size() - s));
    }
  }
  std::vector<uint64_t> endCopy(m + 1, unreachable), endInsert(m + 1, unreachable);
  endCopy[0] = 0;
  for (size_t j = 1; j <= m; ++j) {
    endInsert[j] = std::min(endInsert[j - 1] + 1, endCopy[j - 1] + 9);
    for (size_t i = 0; i < j; ++i) {
      if (i + longest[i] >= j) endCopy[j] = std::min(endCopy[j], std::min(endCopy[i], endInsert[i]) + 12);
    }
  }
  return 8 + std::min(endCopy[m], endInsert[m]);
}

TEST(ParseTableTest, BuildsTheCheapestBlockForEditedTables) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 60; ++trial) {
    const Bytes old = RandomBytes(&random, 50 + random() % 400, 4);
    // Edits: keep, drop, replace, move and repeat stretches of the old table.
    Bytes neu;
    size_t at = 0;
    while (at < old.size()) {
      const size_t length = std::min(old.size() - at, size_t{1 + random() % 60});
      switch (random() % 5) {
        case 0: break;
        case 1: neu = Concat({neu, RandomBytes(&random, length, 4)}); break;
        case 2: {
          const size_t from = random() % (old.size() - length + 1);
          neu = Concat({neu, Slice(old, from, from + length)});
          break;
        }
        default: neu = Concat({neu, Slice(old, at, at + length)});
      }
      at += length;
    }
    const TableRuns runs = ParseTable(old.data(), old.size(), neu.data(), neu.size());
    ExpectRebuilds(old, neu, runs);
    EXPECT_EQ(CheapestBlock(old, neu), BlockSize(runs)) << "trial " << trial;
  }
}

TEST(ParseTableTest, ShortMatchBetweenInsertsIsInsertedLongOneCopied) {
  std::mt19937 random(5);
  const Bytes before = RandomBytes(&random, 40, 256);
  const Bytes after = RandomBytes(&random, 40, 256);
  const Bytes kept = RandomBytes(&random, 24, 256);
  const Bytes old = Concat({RandomBytes(&random, 40, 256), kept, RandomBytes(&random, 40, 256)});

  // 10 kept bytes: a copy (12) and a second insert header (8) cost more than
  // the 10 literal bytes.
  const Bytes shortKept = Concat({before, Slice(kept, 0, 10), after});
  TableRuns runs = ParseTable(old.data(), old.size(), shortKept.data(), shortKept.size());
  EXPECT_TRUE(runs.copies.empty());
  ASSERT_EQ(1u, runs.inserts.size());
  EXPECT_EQ(shortKept.size(), runs.inserts[0].length);

  // 24 kept bytes: copying saves 4.
  const Bytes longKept = Concat({before, kept, after});
  runs = ParseTable(old.data(), old.size(), longKept.data(), longKept.size());
  ASSERT_EQ(1u, runs.copies.size());
  EXPECT_EQ(40u, runs.copies[0].source);
  EXPECT_EQ(24u, runs.copies[0].length);
  EXPECT_EQ(40u, runs.copies[0].destination);
  EXPECT_EQ(2u, runs.inserts.size());
  ExpectRebuilds(old, longKept, runs);
}

TEST(ParseTableTest, ShortMatchBetweenCopiesIsCopied) {
  std::mt19937 random(9);
  const Bytes a = RandomBytes(&random, 100, 256);
  const Bytes b = RandomBytes(&random, 100, 256);
  const Bytes five = RandomBytes(&random, 5, 256);
  const Bytes old = Concat({a, RandomBytes(&random, 30, 256), five, RandomBytes(&random, 30, 256), b});
  // Between two copies, 5 old bytes cost 12 copied and 13 inserted.
  const Bytes neu = Concat({a, five, b});
  const TableRuns runs = ParseTable(old.data(), old.size(), neu.data(), neu.size());
  EXPECT_EQ(3u, runs.copies.size());
  EXPECT_TRUE(runs.inserts.empty());
  ExpectRebuilds(old, neu, runs);
}

TEST(ParseTableTest, FindsShiftedBlocks) {
  std::mt19937 random(13);
  const Bytes old = RandomBytes(&random, 5000, 256);
  // Outlines edited: new bytes in front and in the middle shift everything.
  const Bytes neu = Concat({RandomBytes(&random, 37, 256), Slice(old, 0, 3000), RandomBytes(&random, 11, 256),
                            Slice(old, 3000, 5000)});
  const TableRuns runs = ParseTable(old.data(), old.size(), neu.data(), neu.size());
  ASSERT_EQ(2u, runs.copies.size());
  EXPECT_EQ(0u, runs.copies[0].source);
  EXPECT_EQ(3000u, runs.copies[0].length);
  EXPECT_EQ(37u, runs.copies[0].destination);
  EXPECT_EQ(3000u, runs.copies[1].source);
  EXPECT_EQ(2000u, runs.copies[1].length);
  EXPECT_EQ(3048u, runs.copies[1].destination);
  EXPECT_EQ(8u + 2 * 12 + (8 + 37) + (8 + 11), BlockSize(runs));
  ExpectRebuilds(old, neu, runs);
}

TEST(ParseTableTest, EmptyAndIdenticalTables) {
  std::mt19937 random(17);
  const Bytes old = RandomBytes(&random, 300, 256);
  TableRuns runs = ParseTable(old.data(), old.size(), old.data(), old.size());
  ASSERT_EQ(1u, runs.copies.size());
  EXPECT_EQ(300u, runs.copies[0].length);
  EXPECT_TRUE(runs.inserts.empty());

  runs = ParseTable(old.data(), old.size(), nullptr, 0);
  EXPECT_TRUE(runs.copies.empty());
  EXPECT_TRUE(runs.inserts.empty());
  EXPECT_EQ(8u, BlockSize(runs));

  runs = ParseTable(nullptr, 0, old.data(), old.size());
  EXPECT_TRUE(runs.copies.empty());
  ASSERT_EQ(1u, runs.inserts.size());
  EXPECT_EQ(300u, runs.inserts[0].length);
}

}  // namespace
}  // namespace maker
