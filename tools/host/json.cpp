#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace host {

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

const uint32_t kReplacement = 0xFFFD;

// The code point that starts at text[i], advancing i past it; a sequence that is not
// well-formed UTF-8 (overlong, a surrogate, beyond U+10FFFF, cut short) gives
// kReplacement for its first byte only, so that what follows is read afresh.
uint32_t NextCodePoint(const std::string& text, size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int more = 0;
  uint32_t c = 0, least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return kReplacement;
  }
  size_t at = i;
  for (int k = 0; k < more; ++k, ++at) {
    if (at >= text.size()) return kReplacement;
    const unsigned char next = static_cast<unsigned char>(text[at]);
    if ((next & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
  i = at;
  return c;
}

}  // namespace

std::string Utf8FromUtf16(const char16_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string JsonEscape(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const uint32_t c = NextCodePoint(utf8, i);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          AppendUtf8(out, c);
        }
    }
  }
  return out;
}

bool JsonWriter::BeforeValue() {
  if (done_) {
    ok_ = false;
    return false;
  }
  if (stack_.empty()) return true;
  Level& level = stack_.back();
  if (level.object) {
    if (!level.keyed) {
      ok_ = false;
      return false;
    }
    level.keyed = false;
    return true;
  }
  if (level.items++ > 0) out_ += ',';
  Indent();
  return true;
}

void JsonWriter::Indent() {
  out_ += '\n';
  out_.append(2 * stack_.size(), ' ');
}

void JsonWriter::Raw(const std::string& text) {
  if (!BeforeValue()) return;
  out_ += text;
  if (stack_.empty()) {
    done_ = true;
    out_ += '\n';
  }
}

JsonWriter& JsonWriter::BeginObject() {
  if (BeforeValue()) {
    out_ += '{';
    stack_.push_back({true});
  }
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  if (BeforeValue()) {
    out_ += '[';
    stack_.push_back({false});
  }
  return *this;
}

void JsonWriter::Close(bool object) {
  if (stack_.empty() || stack_.back().object != object || stack_.back().keyed) {
    ok_ = false;
    return;
  }
  const bool empty = stack_.back().items == 0;
  stack_.pop_back();
  if (!empty) Indent();
  out_ += object ? '}' : ']';
  if (stack_.empty()) {
    done_ = true;
    out_ += '\n';
  }
}

JsonWriter& JsonWriter::EndObject() {
  Close(true);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  Close(false);
  return *this;
}

JsonWriter& JsonWriter::Key(const std::string& name) {
  if (stack_.empty() || !stack_.back().object || stack_.back().keyed) {
    ok_ = false;
    return *this;
  }
  Level& level = stack_.back();
  if (level.items++ > 0) out_ += ',';
  Indent();
  out_ += '"' + JsonEscape(name) + "\": ";
  level.keyed = true;
  return *this;
}

JsonWriter& JsonWriter::String(const std::string& utf8) {
  Raw('"' + JsonEscape(utf8) + '"');
  return *this;
}

JsonWriter& JsonWriter::String(const char16_t* text, size_t length) {
  return String(Utf8FromUtf16(text, length));
}

JsonWriter& JsonWriter::Int(int64_t value) {
  Raw(std::to_string(value));
  return *this;
}

JsonWriter& JsonWriter::UInt(uint64_t value) {
  Raw(std::to_string(value));
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  if (!std::isfinite(value)) return Null();
  // The shortest text that reads back as the same number.
  char text[32];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  Raw(text);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  Raw(value ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Raw("null");
  return *this;
}

}  // namespace host
