// Whole files for the otpa subcommands.
#ifndef OTU_TOOLS_OTPA_FILE_BYTES_H_
#define OTU_TOOLS_OTPA_FILE_BYTES_H_

#include <cstdint>
#include <string>
#include <vector>

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes);
bool WriteFileBytes(const std::string& path, const uint8_t* bytes, size_t size);
// What an update result code means, in a few words.
const char* ResultMeaning(int32_t result);

#endif  // OTU_TOOLS_OTPA_FILE_BYTES_H_
