// The language table, the text table loader and the lookup.
#include "nls/nls_translator.h"

#include <cstring>
#include <utility>

namespace tb {
namespace {

// Rows in the order of their codes; every identifier not listed gives "ENU".
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

constexpr char kEnglishCode[] = "ENU";

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

char AsciiUpper(char c) noexcept { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Whether `line` is "[" + code + "]", without regard to case.
bool IsHeaderOf(const std::string& line, const std::string& code) noexcept {
  if (line.size() != code.size() + 2 || line.front() != '[' || line.back() != ']') return false;
  for (size_t i = 0; i < code.size(); ++i) {
    if (AsciiUpper(line[i + 1]) != AsciiUpper(code[i])) return false;
  }
  return true;
}

enum class Section { kNone, kEnglish, kChosen };

// The loader's state over one pass: the current section and the line being gathered.
class TableReader {
 public:
  TableReader(const std::string& code, std::vector<std::string>& english,
              std::vector<std::string>& selected)
      : code_(code), english_(english), selected_(selected) {}

  void Read(const char* table, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      const char c = table[i];
      if (c == '\r' || c == '\n' || c == '\t') {
        EndLine();
        continue;
      }
      if (c == '\\' && i + 1 < size) {
        const char next = table[i + 1];
        const char escaped = next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : 0;
        if (escaped != 0) {
          line_.push_back(escaped);
          ++i;
          continue;
        }
      }
      line_.push_back(c);
    }
    // A table whose last line has no line end still has that line.
    EndLine();
  }

 private:
  void EndLine() {
    if (line_.empty()) return;
    if (section_ != Section::kNone) {
      if (IsDigit(line_.front())) {
        StoreEntry();
        line_.clear();
        return;
      }
      section_ = Section::kNone;
    }
    // Texts and headers end at the line's first NUL.
    const std::string usable(line_.c_str());
    if (IsHeaderOf(usable, kEnglishCode)) {
      section_ = Section::kEnglish;
    } else if (IsHeaderOf(usable, code_)) {
      section_ = Section::kChosen;
    }
    line_.clear();
  }

  void StoreEntry() {
    const char* text = line_.c_str();  // stops at the first NUL
    size_t number = 0;
    for (const char* p = text; IsDigit(*p); ++p) {
      number = number * 10 + size_t(*p - '0');
      if (number > kMaxEntryNumber) return;  // ignored, see kMaxEntryNumber
    }
    const char* space = std::strchr(text, ' ');
    std::vector<std::string>& texts = section_ == Section::kEnglish ? english_ : selected_;
    if (texts.size() <= number) texts.resize(number + 1);
    texts[number] = space ? std::string(space + 1) : std::string();
  }

  const std::string& code_;
  std::vector<std::string>& english_;
  std::vector<std::string>& selected_;
  Section section_ = Section::kNone;
  std::string line_;
};

const std::string& EmptyText() noexcept {
  static const std::string empty;
  return empty;
}

}  // namespace

const char* LanguageCodeFor(std::uint16_t langid) noexcept {
  for (const LanguageCodeRow& row : kLanguageCodeRows) {
    if (row.langid == langid) return row.code;
  }
  return kEnglishCode;
}

const LanguageCodeRow* LanguageCodeRows(std::size_t* count) noexcept {
  if (count) *count = sizeof(kLanguageCodeRows) / sizeof(kLanguageCodeRows[0]);
  return kLanguageCodeRows;
}

NlsTranslator::NlsTranslator(std::string code) : code_(std::move(code)) {}

const std::string& NlsTranslator::code() const noexcept { return code_; }

void NlsTranslator::Load(const char* table, size_t size) {
  if (!table) return;
  TableReader(code_, english_, selected_).Read(table, size);
}

void NlsTranslator::Translate(const char* source, std::string* result) const {
  if (!source || !result) return;
  std::string plain;
  for (const char* p = source; *p; ++p) {
    if (*p != '&') plain.push_back(*p);
  }
  for (size_t i = 0; i < english_.size(); ++i) {
    if (english_[i] == plain && i < selected_.size() && !selected_[i].empty()) {
      *result = selected_[i];
      return;
    }
  }
  *result = std::move(plain);
}

const std::string& NlsTranslator::EnglishText(std::size_t number) const noexcept {
  return number < english_.size() ? english_[number] : EmptyText();
}

const std::string& NlsTranslator::SelectedText(std::size_t number) const noexcept {
  return number < selected_.size() ? selected_[number] : EmptyText();
}

}  // namespace tb
