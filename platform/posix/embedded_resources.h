// The resource set compiled into a POSIX program. A resource library made by
// otu_resource_library() (resources/CMakeLists.txt) defines these tables from
// a package folder and the resource script (string table and dialog
// templates); each program links exactly one.
#ifndef OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_
#define OTU_PLATFORM_POSIX_EMBEDDED_RESOURCES_H_

#include <cstddef>
#include <cstdint>

namespace platform {

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
