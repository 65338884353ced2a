// The resources of a Windows program (PE32 or PE32+), read from its file
// without Windows: the resource directory found through the optional
// header's data directory and the section table, then its three levels
// (type, name, language) down to the data entries.
#ifndef OTU_TOOLS_OTPA_PE_RESOURCES_H_
#define OTU_TOOLS_OTPA_PE_RESOURCES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/otpa/program_package.h"

// The resources whose type is a name and whose name is a number, as the
// package's configuration and difference files are (the first language of
// each; a resource's first place when the tree names it twice), and
// `format`, "PE32" or "PE32+". False with a one-line reason when a structure
// on the way does not lie where the file has bytes or is not what it must be.
bool ReadPeResources(const uint8_t* file, size_t size, std::vector<PackageResource>* resources,
                     std::string* format, std::string* reason);

#endif  // OTU_TOOLS_OTPA_PE_RESOURCES_H_
