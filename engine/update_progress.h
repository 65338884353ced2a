// Progress of one font update: the callback the driver reports to, the texts
// it reports, and the overall percent that places font i of n on one scale.
#ifndef OTU_ENGINE_UPDATE_PROGRESS_H_
#define OTU_ENGINE_UPDATE_PROGRESS_H_

#include <cstdint>
#include <string>

#include "text/language.h"

// (overall percent, current percent, file text, step text, context); a
// non-zero return asks the driver to stop.
using UpdateProgressFunc = int32_t (*)(int32_t overallPercent, int32_t currentPercent,
                                       const char* fileText, const char* stepText, void* context);

namespace progress_text {

// %s: the full installed path.
constexpr char kFile[] = "%sの改訂をしています。";
// %s: the installed file's base name (no folder, no extension).
constexpr char kOpening[] = "%sのファイルをオープンしています。";
constexpr char kReading[] = "%sのファイルを読み込んでいます。";
constexpr char kTagsRead[] = "タグデータを読み込みました。";
constexpr char kWritingSerial[] = "%sのファイルにシリアルナンバーを書き込んでいます。";
constexpr char kRecalculatingChecksum[] = "%sのファイルにチェックサムを再計算しています。";
constexpr char kCreating[] = "%sのファイルを作成しています。";
constexpr char kCopyingFromTemp[] = "テンポラリフォルダからファイルをコピーしています。";

// One of the texts above as the program says it in `language`; the driver
// names its steps by the Japanese constants. Any other text is returned as
// it is.
const char* InLanguage(const char* japanese, text::Language language);

}  // namespace progress_text

// Font i of n at step percent p: integer arithmetic up to 75; from 90 on each
// quotient is rounded to single precision and their sum, taken in double so
// that every compiler and FPU rounds it alike, is truncated.
int32_t OverallPercent(int32_t p, int32_t n, int32_t i);

// The file name of `path` without folder and extension.
std::string BaseNameWithoutExtension(const std::string& path);

#endif  // OTU_ENGINE_UPDATE_PROGRESS_H_
