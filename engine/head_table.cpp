#include "engine/head_table.h"

#include "engine/byte_io.h"

namespace {

void ReadS16(otu::Buffer* in, int16_t* value) {
  uint16_t raw = 0;
  in->ReadU16(&raw);
  *value = static_cast<int16_t>(raw);
}

}  // namespace

int CHeadInfoObject::ReadHead(const uint8_t* table, size_t tableLength) {
  if (table == nullptr || tableLength < kHeadSize) return 0;
  otu::Buffer in(table, kHeadSize);
  in.ReadU32(&version);
  in.ReadU32(&fontRevision);
  in.ReadU32(&checkSumAdjustment);
  in.ReadU32(&magicNumber);
  in.ReadU16(&flags);
  in.ReadU16(&unitsPerEm);
  in.ReadBytes(created, sizeof created);
  in.ReadBytes(modified, sizeof modified);
  ReadS16(&in, &xMin);
  ReadS16(&in, &yMin);
  ReadS16(&in, &xMax);
  ReadS16(&in, &yMax);
  in.ReadU16(&macStyle);
  in.ReadU16(&lowestRecPPEM);
  ReadS16(&in, &fontDirectionHint);
  ReadS16(&in, &indexToLocFormat);
  ReadS16(&in, &glyphDataFormat);
  return 1;
}
