// An INI file that exercises the configuration reader's rules, shared by the
// reader's own test and by its comparison with the system's reader (Windows
// builds). Shift-JIS is written as escapes: "ダ" (0x83 0x5F) and "ソ"
// (0x83 0x5C) and "ゾ" (0x83 0x5D) end in the bytes of "_", "\\" and "]";
// 0x81 0x40 is the ideographic space.
#ifndef OTU_TESTS_INI_CASES_H_
#define OTU_TESTS_INI_CASES_H_

#include <cstddef>
#include <cstdint>

#include "config/ini_document.h"

inline constexpr char kIniCases[] =
    "stray=above any section\r\n"
    "[Fonts]\r\n"
    "  Name  =  value one \t\r\n"
    "name=second of a duplicate\r\n"
    "Bare line\r\n"
    "Empty=\r\n"
    "[fonts]\r\n"
    "Other=in a repeated section\r\n"
    "[Start] ; a remark\r\n"
    "Key=a=b\r\n"
    "[ Spaced ]\r\n"
    "Key=spaced\r\n"
    "[Unclosed\r\n"
    "Tabbed\t=\tvalue\x1A\r\n"
    "[\x83\x5D]\r\n"
    "Key=in a section whose name ends in the byte of ]\r\n"
    "[Quotes]\r\n"
    "Double=\" padded \"\r\n"
    "Single='x'\r\n"
    "Mixed=\"x'\r\n"
    "Lone=\"\r\n"
    "Inner=a\"b\"\r\n"
    "Pair=\"\"\r\n"
    "[Japanese]\r\n"
    "Line= \x81\x40\x81\x40x\x81\x40 \r\n"
    "Text=ab\x83\x5F" "cd\x83\x5C" "ef\r\n"
    "Path=C:\\\x83\x5C\\\x83\x5F_1.pa\r\n"
    "[Numbers]\r\n"
    "Plain=2001\r\n"
    "Trailing=2001abc\r\n"
    "Negative=-5\r\n"
    "Plus=+7\r\n"
    "Word=abc\r\n"
    "Empty=\r\n"
    "Quoted=\" 12\"\r\n"
    "Wrap=4294969297\r\n"
    "Long=00000000000000000000000000000001\r\n"
    "[Last]\r\n"
    "Key=no final line break";

inline constexpr size_t kIniCasesSize = sizeof kIniCases - 1;

inline config::IniDocument IniCases() {
  return config::IniDocument(platform::TextEncoding::kShiftJis,
                             reinterpret_cast<const uint8_t*>(kIniCases), kIniCasesSize);
}

#endif  // OTU_TESTS_INI_CASES_H_
