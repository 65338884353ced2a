// The program's string table (ids 101 to 124), for the messages it shows.
#ifndef OTU_PLATFORM_STRING_TABLE_H_
#define OTU_PLATFORM_STRING_TABLE_H_

#include <cstdint>
#include <string>

namespace platform {

// The text of string `id` in the system code page (Windows: stored as UTF-16
// and converted to the ANSI code page; POSIX: UTF-8). False when the table has
// no such string or it is empty.
bool LoadResourceString(uint16_t id, std::string* out);

}  // namespace platform

#endif  // OTU_PLATFORM_STRING_TABLE_H_
