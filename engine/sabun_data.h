// A difference file as the update reads it: the header, one record per table
// of the new font, and each record's copy and insert runs.
#ifndef OTU_ENGINE_SABUN_DATA_H_
#define OTU_ENGINE_SABUN_DATA_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/font_model.h"
#include "platform/resources.h"

// Copy run: bytes taken from the installed table.
class COldTagObject : public COpenTypeObject {
 public:
  COldTagObject(int32_t source, int32_t runLength, int32_t destination)
      : sourceOffset(source), length(runLength), destinationOffset(destination) {}

  int32_t sourceOffset;
  int32_t length;
  int32_t destinationOffset;
};

// Insert run: literal bytes carried by the difference file.
class CNewTagObject : public COpenTypeObject {
 public:
  CNewTagObject(int32_t destination, int32_t runLength, const uint8_t* bytes)
      : destinationOffset(destination), length(runLength), literal(bytes) {}

  int32_t destinationOffset;
  int32_t length;
  // The `length` literal bytes where the difference file holds them, not a
  // copy: the file's bytes outlive every run read from them (see
  // CMakeSabunData::bytes), and a copy per run would cost an allocation and
  // a pass over every inserted byte.
  const uint8_t* literal;
};

class CSabunTagObject : public COpenTypeObject {
 public:
  // Decodes the difference block that starts at `block`, `available` bytes
  // before the end of the file. 1 on success; 0 when a count or a run does not
  // fit in those bytes.
  int ReadSabun(const uint8_t* block, size_t available);

  char tagText[5] = {};
  // The runs are held in one array each, not one allocation per run: a CFF
  // block has thousands of them, and allocating and freeing each cost more
  // than applying it.
  std::vector<COldTagObject> copyRuns;
  std::vector<CNewTagObject> insertRuns;
  int32_t hasBlock = 0;

  uint8_t tag[4] = {};
  uint8_t newIndex = 0;
  uint8_t order = 0;
  uint32_t blockOffset = 0;
  uint32_t newLength = 0;
  uint32_t newOffset = 0;
};

class CMakeSabunData : public COpenTypeObject {
 public:
  explicit CMakeSabunData(const platform::ResourceSource& resources) : resources_(resources) {}

  // Loads the FONT_PA resource `resourceId` (its low 16 bits): 1 or 0.
  int LoadSabunData(int32_t resourceId);
  // Reads only the font name (32 bytes as stored) and expected revision of
  // resource `resourceId`; touches nothing of this object. 1 or 0.
  int GetFontInfo(int32_t resourceId, char fontName[32], uint32_t* expectedRevision) const;
  // The first record, in file order, whose new index is `index`; null if none.
  const CSabunTagObject* GetSabunTag(int32_t index) const;

  std::vector<std::unique_ptr<CSabunTagObject>> records;
  uint8_t magic[4] = {};
  char fontName[32] = {};
  uint32_t expectedRevision = 0;
  uint32_t newFileLength = 0;
  uint8_t tableCount = 0;
  uint8_t date[8] = {};
  int32_t size = 0;
  // The resource's `size` bytes themselves, not a private copy: a resource
  // source keeps its bytes as long as it lives, and it outlives this object,
  // which refers to it. Copying them would only cost a buffer and a pass.
  const uint8_t* bytes = nullptr;

 private:
  const platform::ResourceSource& resources_;
};

#endif  // OTU_ENGINE_SABUN_DATA_H_
