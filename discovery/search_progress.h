// What the search reports while it walks: a text for the wait window. A
// non-zero return asks the search to stop.
#ifndef OTU_DISCOVERY_SEARCH_PROGRESS_H_
#define OTU_DISCOVERY_SEARCH_PROGRESS_H_

#include <cstdint>

typedef int32_t (*SearchProgressCallbackFunc)(const char* text, void* context);

#endif  // OTU_DISCOVERY_SEARCH_PROGRESS_H_
