// The head table, decoded only to learn the installed font's revision.
#ifndef OTU_ENGINE_HEAD_TABLE_H_
#define OTU_ENGINE_HEAD_TABLE_H_

#include <cstddef>
#include <cstdint>

#include "engine/font_model.h"

class CHeadInfoObject : public COpenTypeObject {
 public:
  static constexpr size_t kHeadSize = 54;

  // Fills the fields from the first 54 bytes of `table`; 0 (nothing read)
  // when the table is shorter than that.
  int ReadHead(const uint8_t* table, size_t tableLength);

  uint32_t version = 0;
  uint32_t fontRevision = 0;
  uint32_t checkSumAdjustment = 0;
  uint32_t magicNumber = 0;
  uint16_t flags = 0;
  uint16_t unitsPerEm = 0;
  uint8_t created[8] = {};
  uint8_t modified[8] = {};
  int16_t xMin = 0;
  int16_t yMin = 0;
  int16_t xMax = 0;
  int16_t yMax = 0;
  uint16_t macStyle = 0;
  uint16_t lowestRecPPEM = 0;
  int16_t fontDirectionHint = 0;
  int16_t indexToLocFormat = 0;
  int16_t glyphDataFormat = 0;
};

class CTagHeadObject : public CTagObject {
 public:
  // ReadHead on this table's bytes in the file (ReadEntry has run).
  int ReadHead() { return headInfo.ReadHead(data, length); }

  CHeadInfoObject headInfo;
};

#endif  // OTU_ENGINE_HEAD_TABLE_H_
