// A small JSON writer for the host tool's --json output: escaping, UTF-8 from UTF-16
// and from possibly broken UTF-8, commas and indentation. Platform-free.
#ifndef TB_TOOLS_HOST_JSON_H
#define TB_TOOLS_HOST_JSON_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

/// Writes one JSON document. Calls follow the document's shape: Key before each value
/// inside an object, none inside an array. The output is indented by two spaces per
/// level and ends with a line break once the outermost value is closed. Calls out of
/// shape (a value without a key in an object, a close without an open) are programming
/// errors: they are ignored, and ok() turns false.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  /// A member's name, in UTF-8.
  JsonWriter& Key(const std::string& name);
  /// A string in UTF-8; a byte sequence that is not UTF-8 becomes U+FFFD, so the
  /// document stays valid whatever the text.
  JsonWriter& String(const std::string& utf8);
  /// A string in UTF-16; a lone surrogate becomes U+FFFD.
  JsonWriter& String(const char16_t* text, size_t length);
  JsonWriter& Int(int64_t value);
  JsonWriter& UInt(uint64_t value);
  /// A number; infinity and NaN, which JSON has no word for, become null.
  JsonWriter& Number(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  /// The document so far.
  const std::string& str() const { return out_; }
  /// True while every call fitted the document's shape, and the document is complete.
  bool ok() const { return ok_ && done_; }

 private:
  struct Level {
    bool object;
    size_t items = 0;
    bool keyed = false;  // in an object: a key waits for its value
  };
  bool BeforeValue();
  void Close(bool object);
  void Indent();
  void Raw(const std::string& text);

  std::string out_;
  std::vector<Level> stack_;
  bool ok_ = true;
  bool done_ = false;
};

/// `text` in UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(const char16_t* text, size_t length);

/// `utf8` as the body of a JSON string (without the quotes): quote, backslash and
/// control characters escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonEscape(const std::string& utf8);

}  // namespace host

#endif  // TB_TOOLS_HOST_JSON_H
