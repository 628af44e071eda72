#include "nls/nls_translator.h"

#include "nls/language_table.h"

#include <gtest/gtest.h>

#include <string>

namespace tb {
namespace {

using namespace std::string_literals;

// A translator for `code` loaded from `table` (which may hold NULs).
NlsTranslator Loaded(const char* code, const std::string& table) {
  NlsTranslator translator(code);
  translator.Load(table.data(), table.size());
  return translator;
}

std::string Translated(const NlsTranslator& translator, const char* source) {
  std::string result = "untouched";
  translator.Translate(source, &result);
  return result;
}

// Two sections in the stored layout: a NUL before every CR LF, a NUL line after each.
const std::string kStoredTable =
    "[enu]\0\r\n1 Audio Format Settings\0\r\n2 Close\0\r\n3 Configure...\0\r\n\0\r\n"
    "[deu]\0\r\n1 Audioformat-Einstellungen\0\r\n2 Schlie\xDF"
    "en\0\r\n\0\r\n"s;

TEST(nls_translator_test, language_codes_compare_the_whole_identifier) {
  const struct {
    uint16_t langid;
    const char* code;
  } cases[] = {{0x0009, "ENU"}, {0x0409, "ENU"}, {0x0407, "DEU"}, {0x0007, "DEU"},
               {0x0807, "ENU"}, {0x0013, "NDL"}, {0x0413, "NLD"}, {0x500A, "ESL"},
               {0x0C0A, "ESP"}, {0x0422, "UKR"}, {0x4001, "ARA"}, {0xFFFF, "ENU"}};
  for (const auto& c : cases) EXPECT_STREQ(LanguageCodeFor(c.langid), c.code) << c.langid;

  size_t count = 0;
  const LanguageCodeRow* rows = LanguageCodeRows(&count);
  ASSERT_EQ(count, 81u);
  for (size_t i = 0; i < count; ++i) {
    EXPECT_STREQ(LanguageCodeFor(rows[i].langid), rows[i].code);
    EXPECT_NE(FindLanguage(rows[i].code), nullptr) << rows[i].code;
  }
  // Every listed language has rows; six of them have no section of their own.
  size_t languages = 0;
  int withoutSection = 0;
  const LanguageInfo* info = Languages(&languages);
  for (size_t i = 0; i < languages; ++i) {
    withoutSection += info[i].hasSection ? 0 : 1;
    bool listed = false;
    for (size_t r = 0; r < count; ++r) listed = listed || std::string(rows[r].code) == info[i].code;
    EXPECT_TRUE(listed) << info[i].code;
  }
  EXPECT_EQ(languages, 32u);
  EXPECT_EQ(withoutSection, 6);
  EXPECT_EQ(FindLanguage("rus")->codePage, 1251u);
  EXPECT_EQ(FindLanguage("XYZ"), nullptr);
}

TEST(nls_translator_test, stored_table_translates_and_drops_ampersands) {
  const NlsTranslator deu = Loaded(LanguageCodeFor(0x0407), kStoredTable);
  EXPECT_EQ(deu.code(), "DEU");
  EXPECT_EQ(Translated(deu, "Audio Format Settings"), "Audioformat-Einstellungen");
  EXPECT_EQ(Translated(deu, "&Close"),
            "Schlie\xDF"
            "en");
  // No German entry 3, and texts that are not in the table: the source without '&'.
  EXPECT_EQ(Translated(deu, "Configure..."), "Configure...");
  EXPECT_EQ(Translated(deu, "Save && E&xit"), "Save  Exit");
  EXPECT_EQ(Translated(deu, "close"), "close");

  const NlsTranslator enu = Loaded("ENU", kStoredTable);
  EXPECT_EQ(Translated(enu, "&Close"), "Close");
  EXPECT_EQ(enu.EnglishText(2), "Close");
  EXPECT_EQ(enu.SelectedText(2), "");

  std::string result = "kept";
  deu.Translate(nullptr, &result);
  EXPECT_EQ(result, "kept");
  deu.Translate("Close", nullptr);
}

TEST(nls_translator_test, sections_and_entries_follow_the_line_rules) {
  const struct {
    const char* name;
    std::string table;
    const char* source;
    const char* expected;
  } cases[] = {
      {"header in any case", "[ENU]\n1 Close\n[rUs]\n1 Zakryt\n", "Close", "Zakryt"},
      {"sections in any order", "[rus]\n1 Zakryt\n\n[enu]\n1 Close\n", "Close", "Zakryt"},
      {"a line without digit ends the section", "[enu]\n1 Close\n[rus]\nSettings\n1 Zakryt\n",
       "Close", "Close"},
      {"entry without space is empty", "[enu]\n7 Seven\n[rus]\n7\n", "Seven", "Seven"},
      {"gaps hold empty texts", "[enu]\n3 Three\n[rus]\n0 Zero\n3 Tri\n", "", "Zero"},
      {"repeated number replaces", "[enu]\n1 Old\n1 Close\n[rus]\n1 Zakryt\n", "Close", "Zakryt"},
      {"escapes give line breaks", "[enu]\n1 A\\nB\n[rus]\n1 C\\r\\tD\n", "A\nB", "C\r\tD"},
      {"other backslashes stay", "[enu]\n1 A\\\\nB\\x\n[rus]\n1 Ok\n", "A\\\nB\\x", "Ok"},
      {"tab splits the line and ends the section", "[enu]\n1 Close\n[rus]\n1 Za\tkryt\n2 X\n",
       "Close", "Za"},
      {"text ends at a NUL", "[enu]\0\n1 Close\0junk\n[rus]\n1 Zakryt\0\n"s, "Close", "Zakryt"},
      {"NUL line ends the section", "[enu]\n1 Close\n\0\n1 Other\n[rus]\n1 Zakryt\n"s, "Close",
       "Zakryt"},
      {"last line without a line end", "[enu]\n1 Close\n[rus]\n1 Zakryt", "Close", "Zakryt"},
      {"backslash as last byte", "[enu]\n1 Close\\", "Close\\", "Close\\"},
      {"lines outside sections are skipped", "1 Close\n[rus]\n1 Zakryt\n", "Close", "Close"},
  };
  for (const auto& c : cases) {
    const NlsTranslator rus = Loaded("RUS", c.table);
    EXPECT_EQ(Translated(rus, c.source), c.expected) << c.name;
  }
}

TEST(nls_translator_test, entry_numbers_beyond_the_limit_are_ignored) {
  const std::string limit = std::to_string(kMaxEntryNumber);
  const NlsTranslator rus =
      Loaded("RUS", "[enu]\n" + limit + " Close\n99999999999999999999999 Huge\n" + limit +
                        "1 Over\n[rus]\n" + limit + " Zakryt\n");
  EXPECT_EQ(Translated(rus, "Close"), "Zakryt");
  EXPECT_EQ(rus.EnglishText(kMaxEntryNumber), "Close");
  EXPECT_EQ(Translated(rus, "Huge"), "Huge");
  EXPECT_EQ(Translated(rus, "Over"), "Over");
  EXPECT_EQ(rus.EnglishText(kMaxEntryNumber + 1), "");
}

}  // namespace
}  // namespace tb
