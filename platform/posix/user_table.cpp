#include "platform/posix/user_table.h"

#include <fstream>
#include <sstream>
#include <utility>

namespace platform {

namespace {

// Field `index` (from 0) of each line that has it, comments and blank lines
// left out: (the line's first field, the wanted one).
std::vector<std::pair<std::string, std::string>> Fields(const std::string& passwd, int index) {
  std::vector<std::pair<std::string, std::string>> found;
  std::istringstream lines(passwd);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t start = 0;
    for (int field = 0; field < index && start != std::string::npos; ++field) {
      const size_t colon = line.find(':', start);
      start = colon == std::string::npos ? colon : colon + 1;
    }
    if (start == std::string::npos) continue;
    const size_t end = line.find(':', start);
    found.emplace_back(line.substr(0, line.find(':')),
                       line.substr(start, end == std::string::npos ? std::string::npos : end - start));
  }
  return found;
}

}  // namespace

std::vector<std::string> HomeFolders(const std::string& passwd) {
  constexpr int kHomeField = 5;
  std::vector<std::string> homes;
  for (auto& [name, home] : Fields(passwd, kHomeField)) {
    if (!home.empty() && home[0] == '/') homes.push_back(std::move(home));
  }
  return homes;
}

std::string UserNameOf(const std::string& passwd, unsigned uid) {
  constexpr int kUidField = 2;
  for (const auto& [name, id] : Fields(passwd, kUidField)) {
    if (id == std::to_string(uid)) return name;
  }
  return std::string();
}

std::string ReadTextFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace platform
