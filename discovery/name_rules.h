// File-name rules of the search: where a multi-byte character begins, how a
// path splits into folder, name and extension, and which file names a target
// accepts. Texts are 8-bit in the system code page.
#ifndef OTU_DISCOVERY_NAME_RULES_H_
#define OTU_DISCOVERY_NAME_RULES_H_

#include <cstddef>
#include <cstdint>

// True for a byte that begins a two-byte character.
typedef bool (*LeadBytePredicate)(uint8_t byte);

bool IsCp932LeadByte(uint8_t byte);

// The lead-byte test of a code page; null where no character holds an ASCII
// byte after its first (single-byte code pages, UTF-8).
LeadBytePredicate LeadByteRuleFor(uint32_t codePage);

struct NameRules {
  char separator;          // between folder names; '\\' also accepts '/' and a drive
  LeadBytePredicate isLead;  // null: every byte is a character
};

// The first occurrence of `needle` in `text` that begins on a character
// boundary, so that the second byte of a character never starts a match; null
// when there is none.
const char* FindText(const char* text, const char* needle, LeadBytePredicate isLead);

constexpr size_t kNamePartSize = 256;

// The file name of `path` without folders, split into the name part and the
// extension (from the last "." on, or empty). False when a part does not fit
// its 256-byte buffer: such a name is never cut to fit, since a cut name
// could pass for another.
bool SplitFileName(const char* path, const NameRules& rules, char name[kNamePartSize],
                   char extension[kNamePartSize]);

// The base-name rule: the file's extension is ".otf" and its name part is
// `baseName` itself or `baseName` followed by exactly two or three bytes.
bool MatchesBaseName(const char* fileName, const char* baseName, const NameRules& rules);

#endif  // OTU_DISCOVERY_NAME_RULES_H_
