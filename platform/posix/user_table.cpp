#include "platform/posix/user_table.h"

#include <sstream>

namespace platform {

std::vector<std::string> HomeFolders(const std::string& passwd) {
  constexpr int kHomeField = 5;
  std::vector<std::string> homes;
  std::istringstream lines(passwd);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t start = 0;
    for (int field = 0; field < kHomeField && start != std::string::npos; ++field) {
      const size_t colon = line.find(':', start);
      start = colon == std::string::npos ? colon : colon + 1;
    }
    if (start == std::string::npos) continue;
    const size_t end = line.find(':', start);
    std::string home = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!home.empty() && home[0] == '/') homes.push_back(std::move(home));
  }
  return homes;
}

}  // namespace platform
