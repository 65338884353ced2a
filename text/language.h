// The language of the program's texts. The resource script the program was
// built from fixes its string table and dialogs; the texts the code composes
// itself (progress, search, the list heading) follow the same choice, which
// the configuration carries, and keep the Japanese wording by default.
#ifndef OTU_TEXT_LANGUAGE_H_
#define OTU_TEXT_LANGUAGE_H_

namespace text {

enum class Language { kJapanese, kEnglish };

}  // namespace text

#endif  // OTU_TEXT_LANGUAGE_H_
