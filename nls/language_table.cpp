#include "nls/language_table.h"

#include "nls/nls_translator.h"

namespace tb {
namespace {

constexpr LanguageCodeRow kLanguageCodeRows[] = {
    {0x0401, "ARA"}, {0x0801, "ARA"}, {0x0C01, "ARA"}, {0x1001, "ARA"}, {0x1401, "ARA"},
    {0x1801, "ARA"}, {0x1C01, "ARA"}, {0x2001, "ARA"}, {0x2401, "ARA"}, {0x2801, "ARA"},
    {0x2C01, "ARA"}, {0x3001, "ARA"}, {0x3401, "ARA"}, {0x3801, "ARA"}, {0x3C01, "ARA"},
    {0x4001, "ARA"}, {0x0804, "CHS"}, {0x0404, "CHT"}, {0x0405, "CSY"}, {0x0006, "DAN"},
    {0x0406, "DAN"}, {0x0007, "DEU"}, {0x0407, "DEU"}, {0x0008, "ELL"}, {0x0408, "ELL"},
    {0x0409, "ENU"}, {0x080A, "ESL"}, {0x100A, "ESL"}, {0x140A, "ESL"}, {0x180A, "ESL"},
    {0x1C0A, "ESL"}, {0x200A, "ESL"}, {0x240A, "ESL"}, {0x280A, "ESL"}, {0x2C0A, "ESL"},
    {0x300A, "ESL"}, {0x340A, "ESL"}, {0x380A, "ESL"}, {0x3C0A, "ESL"}, {0x400A, "ESL"},
    {0x440A, "ESL"}, {0x480A, "ESL"}, {0x4C0A, "ESL"}, {0x500A, "ESL"}, {0x000A, "ESP"},
    {0x040A, "ESP"}, {0x0C0A, "ESP"}, {0x000B, "FIN"}, {0x040B, "FIN"}, {0x000C, "FRA"},
    {0x040C, "FRA"}, {0x040D, "HEB"}, {0x041A, "HRV"}, {0x000E, "HUN"}, {0x040E, "HUN"},
    {0x0010, "ITA"}, {0x0410, "ITA"}, {0x0011, "JPN"}, {0x0411, "JPN"}, {0x0012, "KOR"},
    {0x0412, "KOR"}, {0x0013, "NDL"}, {0x0413, "NLD"}, {0x0414, "NOR"}, {0x0015, "PLK"},
    {0x0415, "PLK"}, {0x0416, "PTB"}, {0x0016, "PTG"}, {0x0816, "PTG"}, {0x0018, "ROM"},
    {0x0019, "RUS"}, {0x0419, "RUS"}, {0x041B, "SKY"}, {0x0024, "SLV"}, {0x0424, "SLV"},
    {0x001D, "SVE"}, {0x041D, "SVE"}, {0x041E, "THA"}, {0x041F, "TRK"}, {0x0022, "UKR"},
    {0x0422, "UKR"},
};

constexpr LanguageInfo kLanguages[] = {
    {"ARA", "Arabic", 1252, false},
    {"CHS", "Chinese (Simplified)", 936, true},
    {"CHT", "Chinese (Traditional)", 950, true},
    {"CSY", "Czech", 1250, true},
    {"DAN", "Danish", 1252, true},
    {"DEU", "German", 1252, true},
    {"ELL", "Greek", 1253, true},
    {"ENU", "English", 1252, true},
    {"ESL", "Spanish (Latin America)", 1252, true},
    {"ESP", "Spanish (Spain)", 1252, true},
    {"FIN", "Finnish", 1252, true},
    {"FRA", "French", 1252, true},
    {"HEB", "Hebrew", 1252, false},
    {"HRV", "Croatian", 1252, false},
    {"HUN", "Hungarian", 1250, true},
    {"ITA", "Italian", 1252, true},
    {"JPN", "Japanese", 932, true},
    {"KOR", "Korean", 949, true},
    {"NDL", "Dutch (neutral)", 1252, false},
    {"NLD", "Dutch (Netherlands)", 1252, true},
    {"NOR", "Norwegian (Bokmal)", 1252, true},
    {"PLK", "Polish", 1250, true},
    {"PTB", "Portuguese (Brazil)", 1252, true},
    {"PTG", "Portuguese (Portugal)", 1252, true},
    {"ROM", "Romanian", 1252, false},
    {"RUS", "Russian", 1251, true},
    {"SKY", "Slovak", 1250, true},
    {"SLV", "Slovenian", 1250, true},
    {"SVE", "Swedish", 1252, true},
    {"THA", "Thai", 874, true},
    {"TRK", "Turkish", 1254, true},
    {"UKR", "Ukrainian", 1252, false},
};

bool SameCode(const char* a, const char* b) noexcept {
  for (;; ++a, ++b) {
    const char x = (*a >= 'a' && *a <= 'z') ? char(*a - 'a' + 'A') : *a;
    const char y = (*b >= 'a' && *b <= 'z') ? char(*b - 'a' + 'A') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

}  // namespace

const char* LanguageCodeFor(std::uint16_t langid) noexcept {
  for (const LanguageCodeRow& row : kLanguageCodeRows) {
    if (row.langid == langid) return row.code;
  }
  return kEnglishLanguageCode;
}

const LanguageCodeRow* LanguageCodeRows(std::size_t* count) noexcept {
  if (count) *count = sizeof(kLanguageCodeRows) / sizeof(kLanguageCodeRows[0]);
  return kLanguageCodeRows;
}

const LanguageInfo* Languages(std::size_t* count) noexcept {
  if (count) *count = sizeof(kLanguages) / sizeof(kLanguages[0]);
  return kLanguages;
}

const LanguageInfo* FindLanguage(const char* code) noexcept {
  if (!code) return nullptr;
  for (const LanguageInfo& language : kLanguages) {
    if (SameCode(language.code, code)) return &language;
  }
  return nullptr;
}

}  // namespace tb
