// otpa make: the difference file that revises one font into another.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/otpa/commands.h"
#include "tools/otpa/file_bytes.h"
#include "tools/otpa/make_font.h"
#include "tools/otpa/make_sabun.h"

namespace {

constexpr char kUsage[] = "usage: otpa make [--classic] OLD.otf NEW.otf -o OUT.pa\n";

int Fail(const std::string& reason) {
  std::fprintf(stderr, "otpa make: %s\n", reason.c_str());
  return 1;
}

bool LoadFont(const std::string& path, maker::FontFile* font, std::string* refusal) {
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(path, &bytes)) {
    *refusal = path + ": cannot be read";
    return false;
  }
  return maker::ReadFontFile(path, std::move(bytes), font, refusal);
}

}  // namespace

int RunMake(int argc, char** argv) {
  std::vector<std::string> fonts;
  std::string output;
  // The smallest file by default; --classic makes the files otpa always
  // made, byte for byte, for updaters that read no compressed blocks.
  maker::Encoding encoding = maker::Encoding::kSmallest;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-o" && i + 1 < argc && output.empty()) {
      output = argv[++i];
    } else if (argument == "--classic") {
      encoding = maker::Encoding::kClassic;
    } else if (!argument.empty() && argument[0] != '-') {
      fonts.push_back(argument);
    } else {
      fonts.clear();
      break;
    }
  }
  if (fonts.size() != 2 || output.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  maker::FontFile oldFont, newFont;
  std::string refusal, note, nameNote;
  std::vector<uint8_t> sabun;
  if (!LoadFont(fonts[0], &oldFont, &refusal) || !LoadFont(fonts[1], &newFont, &refusal) ||
      !maker::MakeSabunFile(oldFont, newFont, &sabun, &refusal, &note, &nameNote, encoding)) {
    return Fail(refusal);
  }
  // Written only once everything succeeded; a failed write removes the file.
  if (!WriteFileBytes(output, sabun.data(), sabun.size())) return Fail(output + ": cannot be written");
  for (const std::string* line : {&note, &nameNote}) {
    if (!line->empty()) std::fprintf(stderr, "otpa make: %s\n", line->c_str());
  }
  std::printf("%s: %zu bytes\n", output.c_str(), sabun.size());
  return 0;
}
