// The resource set compiled into a POSIX program. A resource library made by
// otu_resource_library() (resources/CMakeLists.txt) defines these tables from
// a package folder and the resource script (string table and dialog
// templates); each program links exactly one.
#ifndef OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_
#define OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// The package (configuration and difference files) lies in one byte array
// that the resource table points into, laid out so that `otpa info` can find
// it in a shipped program, which has no symbols: a magic, the package's size,
// an index of its resources, then their bytes back to back in index order.
// Big-endian, nothing padded; resources/package.py writes it.
namespace embedded_package {

// Like PNG's signature: its first byte is no ASCII text's and its last a
// line feed, so that a search through a program's bytes meets it rarely
// elsewhere (a reader takes the first place where a whole package follows).
constexpr uint8_t kMagic[8] = {0x89, 'O', 'T', 'U', 'P', 'K', 'G', 0x0A};
constexpr size_t kPackageSizeOffset = 8;     // uint32: magic to last byte
constexpr size_t kResourceCountOffset = 12;  // uint16: at least one
constexpr size_t kHeaderSize = 14;

// Index entry i at kHeaderSize + kEntrySize * i.
constexpr size_t kEntrySize = 18;
constexpr size_t kEntryTypeSize = 8;      // at 0: ASCII, NUL-padded ("INIFILE", "FONT_PA")
constexpr size_t kEntryIdOffset = 8;      // uint16
constexpr size_t kEntryStartOffset = 10;  // uint32: where its bytes start, from the magic
constexpr size_t kEntryLengthOffset = 14; // uint32

}  // namespace embedded_package

struct EmbeddedResource {
  const char* type;
  uint16_t id;
  const uint8_t* data;
  uint32_t size;
};

struct EmbeddedString {
  uint16_t id;
  const char* text;  // UTF-8
};

// A dialog template as the resource script defines it, in dialog units.
enum class ControlKind { kText, kEdit, kButton, kDefaultButton, kList, kBar, kIcon };

struct EmbeddedControl {
  ControlKind kind;
  int id;            // -1 for a text that never changes
  const char* text;  // UTF-8, as in the template
  int x;
  int y;
  int width;
  int height;
};

struct EmbeddedDialog {
  int id;
  const char* caption;  // UTF-8
  bool closeBox;        // the template has a system menu
  int width;
  int height;
  const EmbeddedControl* controls;  // in the template's order
  size_t controlCount;
};

// What the package's [UPDATER_PROGRAM] section says of the program; title
// and maker are empty without the section, which leaves the program as the
// resource script has it.
struct EmbeddedProgram {
  const char* title;     // UTF-8
  const char* maker;     // UTF-8
  const char* version;   // "major.minor.patch"
  const char* language;  // "ja" or "en"
};

extern const EmbeddedResource kEmbeddedResources[];
extern const size_t kEmbeddedResourceCount;
extern const EmbeddedString kEmbeddedStrings[];
extern const size_t kEmbeddedStringCount;
extern const EmbeddedDialog kEmbeddedDialogs[];
extern const size_t kEmbeddedDialogCount;
extern const EmbeddedProgram kEmbeddedProgram;

}  // namespace platform

#endif  // OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_
