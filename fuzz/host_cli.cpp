// Fuzz target: the host tool's command-line parser and JSON writer. The input is a
// command line, one argument per line. Checks that a parse that says "run" respects
// the command's operand counts, and that the JSON made of the arguments is valid
// UTF-8 without raw control characters, whatever bytes they hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/host/cli.h"
#include "tools/host/json.h"

namespace {

using host::cli::CommandDef;
using host::cli::OptionDef;

const OptionDef kOptions[] = {
    {"format", '\0', 1, "R[:B[:C]]", "f"},
    {"json", 'j', 0, nullptr, "j"},
    {"keys2", '\0', 2, "A B", "k"},
    {"y", '\0', 0, nullptr, "y"},
};
const CommandDef kOne = {"one", "s", "one X", "d\n", kOptions, 4, true, nullptr, 1, 1};
const CommandDef kAny = {"any", "s",   "any", "d\n", kOptions,
                         2,     false, "e\n", 0,     host::cli::kAnyCount};
const CommandDef* const kTable[] = {&kOne, &kAny};

// Well-formed UTF-8 (no overlong form, no surrogate, nothing beyond U+10FFFF) with no
// control character but the line breaks of the layout: what a JSON reader takes.
bool CleanUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
      if (lead < 0x20 && lead != '\n') return false;
      ++i;
      continue;
    }
    const size_t more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    if (lead < 0xC2 || lead > 0xF4 || i + more >= s.size()) return false;
    uint32_t c = lead & (0x3F >> more);
    for (size_t k = 1; k <= more; ++k) {
      const unsigned char next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    const uint32_t least = more == 1 ? 0x80 : more == 2 ? 0x800 : 0x10000;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  for (size_t at = 0; at <= text.size();) {
    const size_t end = text.find('\n', at);
    args.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  const host::cli::ParsedLine line = host::cli::Parse(args, kTable, 2);
  if (line.action == host::cli::ParsedLine::Action::kRun) {
    if (!line.command || line.operands.size() < line.command->minOperands ||
        line.operands.size() > line.command->maxOperands) {
      std::abort();
    }
  }
  if (line.action == host::cli::ParsedLine::Action::kError && line.error.empty()) std::abort();

  host::JsonWriter json;
  json.BeginObject().Key("args").BeginArray();
  for (const std::string& arg : args) {
    host::cli::FormatRequest request;
    (void)host::cli::ParseFormatRequest(arg, request);
    json.String(arg);
  }
  json.EndArray().Key(text).String(line.error).EndObject();
  if (!json.ok() || !CleanUtf8(json.str())) std::abort();
  return 0;
}
