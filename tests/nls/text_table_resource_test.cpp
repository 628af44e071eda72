// The text table as tunebay.dll carries it: read back out of the built library, checked
// byte by byte against the stored format, and decoded against the UTF-8 sources.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/handles.h"
#include "core/globals.h"
#include "nls/language_table.h"
#include "nls/window_translation.h"
#include "support/test_support.h"

namespace tb {
namespace {

using Entries = std::map<int, std::string>;

// The sections in the order the table stores them.
const char* const kStoredOrder[] = {"enu", "trk", "tha", "sve", "slv", "sky", "rus", "ptg", "ptb",
                                    "plk", "nor", "nld", "kor", "jpn", "ita", "hun", "fra", "fin",
                                    "esp", "esl", "ell", "deu", "dan", "csy", "cht", "chs"};

// The entries of one UTF-8 source file, nls/text/<code>.txt.
Entries ReadSource(const std::string& code) {
  Entries entries;
  std::ifstream in(std::string(TB_NLS_TEXT_DIR) + "/" + code + ".txt", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t space = line.find(' ');
    entries[std::stoi(line.substr(0, space))] = line.substr(space + 1);
  }
  return entries;
}

// Text in a code page to UTF-8; "<invalid>" when the bytes are not valid there.
std::string ToUtf8(const std::string& text, UINT codePage) {
  if (text.empty()) return text;
  const int wide = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(),
                                       int(text.size()), nullptr, 0);
  if (wide <= 0) return "<invalid>";
  std::wstring buffer(size_t(wide), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &buffer[0], wide);
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, &utf8[0], size, nullptr, nullptr);
  return utf8;
}

// The table's escapes, as the loader applies them.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '\\' && (next == 'n' || next == 'r' || next == 't')) {
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : '\t';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

uint16_t FirstLangidOf(const char* code) {
  size_t count = 0;
  const LanguageCodeRow* rows = LanguageCodeRows(&count);
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(rows[i].code, code) == 0) return rows[i].langid;
  }
  return 0;
}

std::string Upper(std::string code) {
  for (char& c : code) c = char(c - 'a' + 'A');
  return code;
}

class text_table_resource_test : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = tbtest::ExeFolder() + "tunebay.dll";
    dll_.reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(dll_) << path;
    HRSRC resource = FindResourceA(dll_.get(), "#6006", "NLSDATA");
    ASSERT_NE(resource, nullptr);
    const DWORD size = SizeofResource(dll_.get(), resource);
    const char* data = static_cast<const char*>(LockResource(LoadResource(dll_.get(), resource)));
    ASSERT_NE(data, nullptr);
    table_.assign(data, size);
  }

  unique_hmodule dll_;
  std::string table_;
};

TEST_F(text_table_resource_test, stored_format_matches_the_sources_byte_for_byte) {
  // Every line ends with NUL CR LF and holds no other NUL, CR, LF or TAB.
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < table_.size();) {
    const size_t end = table_.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos) << "unterminated line at " << pos;
    ASSERT_GT(end, pos) << "line without NUL at " << pos;
    std::string line = table_.substr(pos, end - pos);
    ASSERT_EQ(line.back(), '\0') << "at " << pos;
    line.pop_back();
    ASSERT_EQ(line.find_first_of(std::string("\0\r\n\t", 4)), std::string::npos) << "at " << pos;
    lines.push_back(line);
    pos = end + 2;
  }

  std::set<int> english, translated;
  for (int n = 1; n <= 29; ++n) {
    english.insert(n);
    if (n < 18 || n > 21) translated.insert(n);
  }
  size_t i = 0;
  for (const char* code : kStoredOrder) {
    const LanguageInfo* language = FindLanguage(code);
    ASSERT_NE(language, nullptr) << code;
    ASSERT_LT(i, lines.size());
    EXPECT_EQ(lines[i++], std::string("[") + code + "]");
    const Entries source = ReadSource(code);
    std::set<int> numbers;
    for (const auto& entry : source) numbers.insert(entry.first);
    EXPECT_EQ(numbers, std::strcmp(code, "enu") == 0 ? english : translated) << code;
    for (const auto& entry : source) {
      ASSERT_LT(i, lines.size());
      const std::string& line = lines[i++];
      const std::string prefix = std::to_string(entry.first) + " ";
      ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << code << ": " << line;
      EXPECT_EQ(ToUtf8(line.substr(prefix.size()), language->codePage), entry.second)
          << code << " entry " << entry.first;
    }
    ASSERT_LT(i, lines.size());
    EXPECT_EQ(lines[i++], "") << "separator after " << code;
  }
  EXPECT_EQ(i, lines.size()) << "lines after the last section";
  EXPECT_NE(ReadSource("rus")[14].find("\\n"), std::string::npos);
}

TEST_F(text_table_resource_test, every_language_translates_the_dialog_texts) {
  const Entries english = ReadSource("enu");
  for (const char* code : kStoredOrder) {
    const std::string upper = Upper(code);
    const LanguageInfo* language = FindLanguage(code);
    const uint16_t langid = FirstLangidOf(upper.c_str());
    ASSERT_NE(langid, 0) << code;
    std::unique_ptr<NlsTranslator> translator = CreateNlsTranslator(dll_.get(), 6006, langid);
    ASSERT_TRUE(translator);
    EXPECT_EQ(translator->code(), upper);
    const Entries source = ReadSource(code);
    for (const auto& entry : english) {
      std::string result;
      translator->Translate(Unescape(entry.second).c_str(), &result);
      const auto translation = source.find(entry.first);
      const bool translated = upper != "ENU" && translation != source.end();
      EXPECT_EQ(ToUtf8(result, translated ? language->codePage : 1252),
                Unescape(translated ? translation->second : entry.second))
          << code << " entry " << entry.first;
    }
  }
}

TEST_F(text_table_resource_test, languages_without_a_section_and_missing_tables_stay_english) {
  for (uint16_t langid : {uint16_t(0x0009), uint16_t(0x0401), uint16_t(0x0013), uint16_t(0x0807)}) {
    std::unique_ptr<NlsTranslator> translator = CreateNlsTranslator(dll_.get(), 6006, langid);
    ASSERT_TRUE(translator);
    std::string result;
    translator->Translate("&Close", &result);
    EXPECT_EQ(result, "Close") << langid;
  }
  // Only the id's low 16 bits name the resource.
  std::unique_ptr<NlsTranslator> wide = CreateNlsTranslator(dll_.get(), 0x10000 + 6006, 0x0407);
  std::unique_ptr<NlsTranslator> missing = CreateNlsTranslator(dll_.get(), 6007, 0x0407);
  ASSERT_TRUE(wide && missing);
  EXPECT_EQ(missing->code(), "DEU");
  std::string result;
  wide->Translate("Cancel", &result);
  EXPECT_EQ(result, "Abbrechen");
  missing->Translate("&Cancel", &result);
  EXPECT_EQ(result, "Cancel");
}

TEST_F(text_table_resource_test, statically_linked_programs_carry_the_same_table) {
  HRSRC resource = FindResourceA(LibraryModule(), "#6006", "NLSDATA");
  ASSERT_NE(resource, nullptr);
  const DWORD size = SizeofResource(LibraryModule(), resource);
  const char* data =
      static_cast<const char*>(LockResource(LoadResource(LibraryModule(), resource)));
  EXPECT_EQ(std::string(data, size), table_);
}

}  // namespace
}  // namespace tb
