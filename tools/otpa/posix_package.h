// The package of a POSIX updater, found in its file: the program ships
// without symbols, so the package is found by the magic it starts with
// (platform/posix/embedded_resources.h).
#ifndef OTU_TOOLS_OTPA_POSIX_PACKAGE_H_
#define OTU_TOOLS_OTPA_POSIX_PACKAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/otpa/program_package.h"

// The resources of the first package in the file whose every field is
// sound: its size within the file, an index of at least one entry, each
// entry's type a name, its bytes right after the entry before's and within
// the package, which they fill, no type and id twice. The magic may also
// lie elsewhere in a program's bytes; such places are passed over. False
// when no package is found: `reason` is then empty when the magic is nowhere
// in the file, else why the first place that has it holds no sound package.
bool FindEmbeddedPackage(const uint8_t* file, size_t size, std::vector<PackageResource>* resources,
                         std::string* reason);

#endif  // OTU_TOOLS_OTPA_POSIX_PACKAGE_H_
