#include "engine/byte_io.h"

#include <gtest/gtest.h>

namespace otu {
namespace {

TEST(ByteIoTest, RoundUp4) {
  EXPECT_EQ(0, RoundUp4(0));
  EXPECT_EQ(8, RoundUp4(5));
  EXPECT_EQ(8, RoundUp4(8));
  EXPECT_EQ(56, RoundUp4(54));
}

TEST(ByteIoTest, SwapCopyReversesInPlace) {
  uint8_t bytes[4] = {1, 2, 3, 4};
  SwapCopy(bytes, bytes, 4);
  EXPECT_EQ(4, bytes[0]);
  EXPECT_EQ(1, bytes[3]);
}

TEST(ByteIoTest, ReadsStopAtTheEndWithoutMoving) {
  const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  Buffer buffer(bytes, sizeof bytes);
  uint32_t u32 = 0;
  ASSERT_TRUE(buffer.ReadU32(&u32));
  EXPECT_EQ(0x12345678u, u32);
  uint16_t u16 = 0;
  EXPECT_FALSE(buffer.ReadU16(&u16));
  EXPECT_EQ(4u, buffer.offset());
  EXPECT_FALSE(buffer.Skip(2));
  EXPECT_TRUE(buffer.Skip(1));
  EXPECT_FALSE(buffer.Skip(static_cast<size_t>(-1)));
  EXPECT_FALSE(buffer.Seek(6));

  // A span is handed out whole or not at all.
  Buffer records(bytes, sizeof bytes);
  const uint8_t* span = nullptr;
  EXPECT_FALSE(records.ReadSpan(6, &span));
  EXPECT_EQ(nullptr, span);
  EXPECT_EQ(0u, records.offset());
  ASSERT_TRUE(records.ReadSpan(4, &span));
  EXPECT_EQ(0x12345678u, SpanU32(span));
  EXPECT_EQ(4u, records.offset());
  const uint8_t negative[4] = {0xFF, 0xFF, 0xFF, 0xFE};
  EXPECT_EQ(-2, SpanS32(negative));
}

TEST(ByteIoTest, LittleEndianLoadsStopAtTheEnd) {
  const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  uint32_t u32 = 0;
  ASSERT_TRUE(LoadU32Le(bytes, sizeof bytes, 1, &u32));
  EXPECT_EQ(0x9A785634u, u32);
  uint16_t u16 = 0;
  ASSERT_TRUE(LoadU16Le(bytes, sizeof bytes, 3, &u16));
  EXPECT_EQ(0x9A78u, u16);
  EXPECT_FALSE(LoadU32Le(bytes, sizeof bytes, 2, &u32));
  EXPECT_FALSE(LoadU16Le(bytes, sizeof bytes, 4, &u16));
  EXPECT_FALSE(LoadU16Le(bytes, sizeof bytes, static_cast<size_t>(-1), &u16));
  EXPECT_EQ(0x9A785634u, u32);
  EXPECT_EQ(0x9A78u, u16);
}

TEST(ByteIoTest, WritesStopAtTheEnd) {
  uint8_t bytes[6] = {};
  Writer writer(bytes, sizeof bytes);
  ASSERT_TRUE(writer.WriteU32(0xA1B2C3D4));
  EXPECT_FALSE(writer.WriteU32(1));
  ASSERT_TRUE(writer.WriteU16(0xE5F6));
  EXPECT_EQ(0xA1, bytes[0]);
  EXPECT_EQ(0xF6, bytes[5]);
  EXPECT_FALSE(StoreU32(bytes, sizeof bytes, 3, 0));
  EXPECT_FALSE(RangeFits(5, static_cast<uint64_t>(-1), 6));
}

}  // namespace
}  // namespace otu
