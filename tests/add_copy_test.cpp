// Compressed add-and-copy blocks: the engine's reader against a plain
// reading of the steps over random blocks, the maker's blocks read back, and
// blocks that lie or are damaged refused without a read outside them.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/add_copy_block.h"
#include "engine/font_model.h"
#include "tools/otpa/make_add_copy.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Step {
  int64_t seek;
  uint32_t add;
  uint32_t extra;
};

struct Block {
  std::vector<Step> steps;
  Bytes differences;
  Bytes extra;
};

void PutVarint(Bytes* out, uint64_t value) {
  do {
    const uint8_t low = value & 0x7F;
    value >>= 7;
    out->push_back(value != 0 ? (low | 0x80) : low);
  } while (value != 0);
}

Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(size);
  EXPECT_EQ(Z_OK, compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6));
  packed.resize(size);
  return packed;
}

// The block as stored, from its parts; `sizes` overrides the three stated
// lengths.
Bytes Encode(const Block& block, const uint64_t* sizes = nullptr) {
  Bytes control;
  for (const Step& step : block.steps) {
    PutVarint(&control, step.seek < 0 ? uint64_t(-2 * step.seek - 1) : uint64_t(2 * step.seek));
    PutVarint(&control, step.add);
    PutVarint(&control, step.extra);
  }
  // The differences as stretches, each as long as it can be.
  Bytes stretches;
  for (size_t at = 0; at < block.differences.size();) {
    size_t changed = at;
    while (changed < block.differences.size() && block.differences[changed] == 0) ++changed;
    size_t end = changed;
    while (end < block.differences.size() && block.differences[end] != 0) ++end;
    PutVarint(&stretches, changed - at);
    PutVarint(&stretches, end - changed);
    stretches.insert(stretches.end(), block.differences.begin() + changed, block.differences.begin() + end);
    at = end;
  }
  Bytes raw = control;
  raw.insert(raw.end(), stretches.begin(), stretches.end());
  raw.insert(raw.end(), block.extra.begin(), block.extra.end());
  Bytes out;
  PutVarint(&out, sizes ? sizes[0] : control.size());
  PutVarint(&out, sizes ? sizes[1] : stretches.size());
  PutVarint(&out, sizes ? sizes[2] : block.extra.size());
  const Bytes packed = Deflate(raw);
  out.insert(out.end(), packed.begin(), packed.end());
  return out;
}

// The new table as the steps say, read plainly.
Bytes Plain(const Bytes& old, const Block& block) {
  Bytes table;
  int64_t at = 0;
  size_t difference = 0, extra = 0;
  for (const Step& step : block.steps) {
    at += step.seek;
    for (uint32_t k = 0; k < step.add; ++k) table.push_back(uint8_t(old[at + k] + block.differences[difference++]));
    at += step.add;
    for (uint32_t k = 0; k < step.extra; ++k) table.push_back(block.extra[extra++]);
  }
  return table;
}

// Random steps over an old table of `oldLength` bytes, each inside it.
Block RandomBlock(std::mt19937* random, size_t oldLength) {
  Block block;
  const int steps = (*random)() % 12;
  int64_t at = 0;
  for (int s = 0; s < steps; ++s) {
    Step step{0, 0, 0};
    if (oldLength != 0 && (*random)() % 4 != 0) {
      const int64_t to = (*random)() % oldLength;
      step.seek = to - at;
      step.add = 1 + (*random)() % (oldLength - to);
      at = to + step.add;
    }
    step.extra = (*random)() % 3 == 0 ? (*random)() % 300 : (step.add == 0 ? 1 : 0);
    if (step.add + step.extra == 0) step.extra = 1;  // every step makes a byte
    for (uint32_t k = 0; k < step.add; ++k) block.differences.push_back((*random)() % 5 == 0 ? (*random)() : 0);
    for (uint32_t k = 0; k < step.extra; ++k) block.extra.push_back((*random)());
    block.steps.push_back(step);
  }
  return block;
}

// The engine's reading of a stored block: false when any stage refuses it.
bool Rebuild(const Bytes& stored, const Bytes& old, uint32_t newLength, Bytes* table) {
  add_copy::PackedBlock packed;
  if (!add_copy::ReadPackedBlock(stored.data(), stored.size(), newLength, &packed)) return false;
  Bytes unpacked(packed.UnpackedSize());
  add_copy::Streams streams;
  if (!add_copy::Unpack(packed, unpacked.data(), &streams)) return false;
  table->assign(newLength, 0xEE);
  uint32_t checksum = 0;
  if (!add_copy::Apply(streams, old.data(), static_cast<uint32_t>(old.size()), table->data(), newLength, &checksum)) {
    return false;
  }
  EXPECT_EQ(SumWordsPadded(table->data(), newLength), checksum);
  return true;
}

Bytes RandomBytes(std::mt19937* random, size_t n) {
  Bytes bytes(n);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>((*random)());
  return bytes;
}

TEST(AddCopyBlock, TheWorkedExampleOfTheFormatPage) {
  const Bytes stored = {0x06, 0x03, 0x02, 0x78, 0xDA, 0x63, 0x60, 0x61, 0x62, 0x60, 0x61, 0x60,
                        0x67, 0x64, 0x5C, 0xB5, 0x1B, 0x00, 0x02, 0x9A, 0x01, 0x79};
  Bytes table;
  ASSERT_TRUE(Rebuild(stored, {1, 2, 3, 4, 5, 6, 7, 8}, 10, &table));
  EXPECT_EQ((Bytes{1, 2, 3, 4, 0xAA, 0xBB, 5, 6, 7, 9}), table);
}

TEST(AddCopyBlock, RandomBlocksMakeWhatTheirStepsSay) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 400; ++round) {
    const Bytes old = RandomBytes(&random, random() % 3 == 0 ? 0 : random() % 2000);
    const Block block = RandomBlock(&random, old.size());
    const Bytes expected = Plain(old, block);
    Bytes table;
    ASSERT_TRUE(Rebuild(Encode(block), old, static_cast<uint32_t>(expected.size()), &table)) << round;
    ASSERT_EQ(expected, table) << round;
  }
}

TEST(AddCopyBlock, TheMakersBlocksRebuildTheirTables) {
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    const Bytes old = RandomBytes(&random, random() % 6000);
    // A new release: stretches moved, bytes changed here and there, bytes
    // inserted and dropped.
    Bytes neu = old;
    for (int edit = random() % 40; edit > 0 && !neu.empty(); --edit) {
      const size_t at = random() % neu.size();
      switch (random() % 3) {
        case 0: neu[at] = static_cast<uint8_t>(neu[at] + 1 + random() % 9); break;
        case 1: neu.insert(neu.begin() + at, random() % 20, static_cast<uint8_t>(random())); break;
        default: neu.erase(neu.begin() + at, neu.begin() + std::min(neu.size(), at + random() % 20)); break;
      }
    }
    for (const auto& streams : {maker::MatchTable(old.data(), old.size(), neu.data(), neu.size()),
                                maker::AlignTable(old.data(), old.size(), neu.data(), neu.size()),
                                maker::MatchTable(nullptr, 0, neu.data(), neu.size())}) {
      Bytes stored, table;
      ASSERT_TRUE(maker::PackAddCopy(streams, &stored));
      ASSERT_TRUE(Rebuild(stored, old, static_cast<uint32_t>(neu.size()), &table)) << round;
      ASSERT_EQ(neu, table) << round;
    }
  }
  // An outline moved by a few units: the matches run across the changed
  // bytes, which cost differences, not literal bytes.
  Bytes old = RandomBytes(&random, 20000);
  Bytes neu = old;
  for (size_t at = 100; at < neu.size(); at += 97) neu[at] = static_cast<uint8_t>(neu[at] + 3);
  const maker::AddCopyStreams streams = maker::MatchTable(old.data(), old.size(), neu.data(), neu.size());
  EXPECT_LT(streams.extra.size(), 100u);
  Bytes stored;
  ASSERT_TRUE(maker::PackAddCopy(streams, &stored));
  EXPECT_LT(stored.size(), 1000u);
}

TEST(AddCopyBlock, BlocksThatLieOrAreDamagedAreRefused) {
  std::mt19937 random(3);
  const Bytes old = RandomBytes(&random, 3000);
  Block block;
  block.steps = {{100, 800, 40}, {-50, 600, 0}, {1000, 500, 12}};
  block.differences.assign(1900, 0);
  block.differences[7] = 1;
  block.extra = RandomBytes(&random, 52);
  const Bytes stored = Encode(block);
  const uint32_t length = 1952;
  Bytes table;
  ASSERT_TRUE(Rebuild(stored, old, length, &table));
  const Bytes expected = table;

  uint64_t sizes[3] = {};
  size_t header = 0;
  for (uint64_t& size : sizes) {
    for (int shift = 0;; shift += 7) {
      size |= uint64_t{stored[header] & 0x7Fu} << shift;
      if (stored[header++] < 0x80) break;
    }
  }
  // Lengths that lie: streams that inflate to more or fewer bytes than
  // stated, a split of them the steps do not use up, more extra bytes than
  // the table, more than the packed bytes could inflate to.
  const auto [c, d, e] = sizes;
  const uint64_t lies[][3] = {{c - 1, d, e}, {c + 1, d, e}, {c, d - 1, e + 1}, {c + 1, d - 1, e},
                              {c, d, 2000}, {c, d + 0x7FFFFFF, e}, {0x7FFFFFF, d, e}};
  for (const auto& stated : lies) {
    EXPECT_FALSE(Rebuild(Encode(block, stated), old, length, &table)) << stated[0] << " " << stated[1] << " " << stated[2];
  }
  EXPECT_FALSE(Rebuild(stored, old, length + 1, &table));
  // Every byte of the zlib stream damaged in turn: refused, or (a bit the
  // decoder never reads) the same table; and the stream cut short.
  int refused = 0;
  for (size_t at = header; at < stored.size(); ++at) {
    Bytes damaged = stored;
    damaged[at] ^= 0x20;
    if (!Rebuild(damaged, old, length, &table)) {
      ++refused;
    } else {
      EXPECT_EQ(expected, table) << at;
    }
  }
  EXPECT_GT(refused, static_cast<int>(stored.size() - header) * 3 / 4);
  for (size_t cut = 0; cut < stored.size(); cut += 5) {
    EXPECT_FALSE(Rebuild(Bytes(stored.begin(), stored.begin() + cut), old, length, &table)) << cut;
  }
  // A varint of six bytes.
  EXPECT_FALSE(Rebuild(Bytes{0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0, 0}, old, 0, &table));

  // Steps that leave the old table or make nothing, in well-formed streams.
  const std::vector<Block> outside = {
      {{{-1, 10, 0}}, Bytes(10, 0), {}},
      {{{2995, 10, 0}}, Bytes(10, 0), {}},
      {{{0, 0, 0}, {0, 4, 0}}, Bytes(4, 0), {}},
  };
  for (const Block& bad : outside) {
    const uint32_t made = static_cast<uint32_t>(bad.differences.size() + bad.extra.size());
    EXPECT_FALSE(Rebuild(Encode(bad), old, made, &table));
  }
}

}  // namespace
