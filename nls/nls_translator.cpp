// The language table, the text table loader and the lookup.
#include "nls/nls_translator.h"

#include "nls/language_table.h"

#include <cstring>
#include <utility>

namespace tb {
namespace {

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
    if (IsHeaderOf(usable, kEnglishLanguageCode)) {
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
