#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {
namespace cli {

const OptionDef kGlobalOptions[] = {
    {"help", 'h', 0, nullptr, "this help; 'tunebay-host help COMMAND' for one command's"},
    {"version", '\0', 0, nullptr, "the tool's version and that of the tunebay.dll beside it"},
    {"quiet", 'q', 0, nullptr,
     "no progress line, notes or summaries: only what was asked for,\n"
     "warnings and errors"},
    {"verbose", 'v', 0, nullptr,
     "more detail on the error stream: the library loaded, the plug-in folder, the\n"
     "settings key, and the library's trace of the plug-in scan and each search"},
    {"lang", '\0', 1, "LANGID",
     "the language of the manager's texts and dialogs, e.g. 0x0407 for\n"
     "German"},
};
const size_t kGlobalOptionCount = sizeof kGlobalOptions / sizeof kGlobalOptions[0];

const OptionDef kManagerOptions[] = {
    {"plugins", '\0', 1, "DIR", "plug-in folder (default: the folder 'plugins' beside this tool)"},
    {"keys", '\0', 2, "NAME1 NAME2",
     "the host's registry key names; the settings are read from and stored under\n"
     "HKEY_CURRENT_USER\\Software\\NAME1\\NAME2\\Tunebay (default: Tunebay Host)"},
};
const size_t kManagerOptionCount = sizeof kManagerOptions / sizeof kManagerOptions[0];

namespace {

const char kTool[] = "tunebay-host";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Edit distance with a swap of two neighbours counting as one edit, letter case ignored.
size_t Distance(const std::string& a, const std::string& b) {
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      const size_t cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) &&
          Lower(a[i - 2]) == Lower(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[n][m];
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

// The option groups a command line is checked against, in the order they are searched.
struct Groups {
  const OptionDef* lists[3];
  size_t counts[3];
  size_t size = 0;
  void Add(const OptionDef* list, size_t count) {
    lists[size] = list;
    counts[size] = count;
    ++size;
  }
};

Groups GroupsOf(const CommandDef* command) {
  Groups groups;
  if (command) {
    groups.Add(command->options, command->optionCount);
    if (command->managerOptions) groups.Add(kManagerOptions, kManagerOptionCount);
  }
  groups.Add(kGlobalOptions, kGlobalOptionCount);
  return groups;
}

bool ShortOnly(const OptionDef& o) { return o.name[0] != '\0' && o.name[1] == '\0'; }

const OptionDef* FindLong(const Groups& groups, const std::string& name) {
  for (size_t g = 0; g < groups.size; ++g) {
    for (size_t i = 0; i < groups.counts[g]; ++i) {
      const OptionDef& o = groups.lists[g][i];
      if (!ShortOnly(o) && name == o.name) return &o;
    }
  }
  return nullptr;
}

const OptionDef* FindShort(const Groups& groups, char letter) {
  for (size_t g = 0; g < groups.size; ++g) {
    for (size_t i = 0; i < groups.counts[g]; ++i) {
      const OptionDef& o = groups.lists[g][i];
      if (o.shortName == letter || (ShortOnly(o) && o.name[0] == letter)) return &o;
    }
  }
  return nullptr;
}

std::vector<std::string> Spellings(const Groups& groups) {
  std::vector<std::string> all;
  for (size_t g = 0; g < groups.size; ++g) {
    for (size_t i = 0; i < groups.counts[g]; ++i) {
      const OptionDef& o = groups.lists[g][i];
      all.push_back(ShortOnly(o) ? std::string("-") + o.name : std::string("--") + o.name);
    }
  }
  return all;
}

std::string Spelling(const OptionDef& o) {
  return ShortOnly(o) ? std::string("-") + o.name : std::string("--") + o.name;
}

std::string WithGuess(std::string message, const std::string& typed,
                      const std::vector<std::string>& candidates) {
  const std::string guess = Closest(typed, candidates);
  if (!guess.empty()) message += "; did you mean " + guess + "?";
  return message;
}

const CommandDef* FindCommand(const std::string& name, const CommandDef* const* commands,
                              size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (name == commands[i]->name) return commands[i];
  }
  return nullptr;
}

std::vector<std::string> CommandNames(const CommandDef* const* commands, size_t count) {
  std::vector<std::string> names = {"help", "version"};
  for (size_t i = 0; i < count; ++i) names.push_back(commands[i]->name);
  return names;
}

// One parse, kept together so that each step can stop it with an error.
class Parser {
 public:
  Parser(const std::vector<std::string>& args, const CommandDef* const* commands, size_t count)
      : args_(args), commands_(commands), count_(count) {}

  ParsedLine Run() {
    bool optionsDone = false;
    for (i_ = 0; i_ < args_.size() && !failed_; ++i_) {
      const std::string& arg = args_[i_];
      if (!optionsDone && arg == "--") {
        optionsDone = true;
      } else if (!optionsDone && arg.size() > 2 && arg[0] == '-' && arg[1] == '-') {
        Long(arg);
      } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
        Short(arg);
      } else if (!haveWord_) {
        Word(arg);
      } else {
        line_.operands.push_back(arg);
      }
    }
    if (failed_) return line_;
    return Finish();
  }

 private:
  void Fail(const std::string& message) {
    failed_ = true;
    line_.action = ParsedLine::Action::kError;
    line_.error = message;
  }

  std::string Where() const {
    return line_.command ? std::string(" for ") + line_.command->name : std::string();
  }

  void Word(const std::string& word) {
    haveWord_ = true;
    if (word == "help") {
      helpWord_ = true;
    } else if (word == "version") {
      versionWord_ = true;
    } else {
      line_.command = FindCommand(word, commands_, count_);
      if (!line_.command) {
        Fail(WithGuess("unknown command '" + word + "'", word, CommandNames(commands_, count_)));
      }
    }
  }

  // Takes the values of `o` into `given`: `inlineValue` (after '=' or the rest of a
  // group of short options) as the first when there is one, then the next arguments.
  void TakeValues(const OptionDef& o, const std::string& typed, const std::string* inlineValue) {
    GivenOption given;
    given.name = o.name;
    if (inlineValue) given.values.push_back(*inlineValue);
    while (given.values.size() < static_cast<size_t>(o.values)) {
      if (i_ + 1 >= args_.size()) {
        Fail(typed + " needs " + (o.values > 1 ? "values: " : "a value: ") + o.value);
        return;
      }
      given.values.push_back(args_[++i_]);
    }
    line_.options.push_back(given);
  }

  void Long(const std::string& arg) {
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    const std::string typed = "--" + name;
    const Groups groups = GroupsOf(line_.command);
    const OptionDef* o = FindLong(groups, name);
    if (!o) {
      Fail(WithGuess("unknown option " + typed + Where(), typed, Spellings(groups)));
      return;
    }
    if (equals == std::string::npos) {
      TakeValues(*o, typed, nullptr);
    } else if (o->values == 0) {
      Fail(typed + " takes no value");
    } else {
      const std::string value = arg.substr(equals + 1);
      TakeValues(*o, typed, &value);
    }
  }

  void Short(const std::string& arg) {
    const Groups groups = GroupsOf(line_.command);
    for (size_t k = 1; k < arg.size() && !failed_; ++k) {
      const std::string typed = std::string("-") + arg[k];
      const OptionDef* o = FindShort(groups, arg[k]);
      if (!o) {
        // "-json" is more likely a long option with one dash than a group of letters.
        const std::string asLong = "-" + arg;
        Fail(WithGuess("unknown option " + (k == 1 && arg.size() > 2 ? arg : typed) + Where(),
                       arg.size() > 2 ? asLong : typed, Spellings(groups)));
        return;
      }
      if (o->values == 0) {
        line_.options.push_back({o->name, {}});
        continue;
      }
      if (k + 1 < arg.size()) {
        const std::string rest = arg.substr(k + 1);
        TakeValues(*o, typed, &rest);
      } else {
        TakeValues(*o, typed, nullptr);
      }
      return;
    }
  }

  ParsedLine Finish() {
    if (helpWord_) {
      line_.action = ParsedLine::Action::kHelp;
      if (!line_.operands.empty()) {
        const std::string& name = line_.operands[0];
        line_.command = FindCommand(name, commands_, count_);
        if (!line_.command && name != "help" && name != "version") {
          Fail(WithGuess("no command '" + name + "'", name, CommandNames(commands_, count_)));
        }
      }
      line_.operands.clear();
      return line_;
    }
    if (versionWord_ || line_.Has("version")) {
      line_.action = ParsedLine::Action::kVersion;
      return line_;
    }
    if (line_.Has("help")) {
      line_.action = ParsedLine::Action::kHelp;
      line_.operands.clear();
      return line_;
    }
    if (!line_.command) {
      line_.action = ParsedLine::Action::kUsage;
      return line_;
    }
    const CommandDef& c = *line_.command;
    const size_t n = line_.operands.size();
    if (n > c.maxOperands) {
      Fail(c.maxOperands == 0
               ? std::string(c.name) + " takes no operands, got '" + line_.operands[0] + "'"
               : "unexpected operand '" + line_.operands[c.maxOperands] + "'");
    } else if (n < c.minOperands) {
      Fail(std::string(c.name) + " needs " + (c.minOperands - n == 1 ? "one more operand" : "") +
           (c.minOperands - n > 1 ? std::to_string(c.minOperands - n) + " more operands" : ""));
    } else {
      line_.action = ParsedLine::Action::kRun;
    }
    return line_;
  }

  const std::vector<std::string>& args_;
  const CommandDef* const* commands_;
  size_t count_;
  size_t i_ = 0;
  bool failed_ = false;
  bool haveWord_ = false;
  bool helpWord_ = false;
  bool versionWord_ = false;
  ParsedLine line_;
};

// The options of a list, two columns: the spellings, then the help, filled to 80
// columns (a line break in the help text is a space), its later lines indented under
// the first.
void AppendOptions(std::string& out, const OptionDef* options, size_t count) {
  const size_t kColumn = 23;
  const size_t kWidth = 79 - kColumn;
  for (size_t i = 0; i < count; ++i) {
    const OptionDef& o = options[i];
    std::string left = "  ";
    if (o.shortName) left += std::string("-") + o.shortName + ", ";
    left += Spelling(o);
    if (o.values > 0 && o.value) left += std::string(" ") + o.value;
    out += left;
    bool fresh = left.size() + 1 > kColumn;  // the help starts on a line of its own
    if (!fresh) out += std::string(kColumn - left.size(), ' ');
    size_t used = 0;
    const std::string help = o.help;
    for (size_t at = 0; at < help.size();) {
      const size_t end = help.find_first_of(" \n", at);
      const std::string word = help.substr(at, end == std::string::npos ? end : end - at);
      if (fresh || (used > 0 && used + 1 + word.size() > kWidth)) {
        out += "\n" + std::string(kColumn, ' ');
        used = 0;
        fresh = false;
      }
      if (used > 0) {
        out += ' ';
        ++used;
      }
      out += word;
      used += word.size();
      if (end == std::string::npos) break;
      at = end + 1;
    }
    out += '\n';
  }
}

// The synopsis: its lines that start a form get "usage: tunebay-host " (or as many
// spaces) in front, the others are continuations, indented as far.
std::string Synopsis(const CommandDef& command) {
  std::string out;
  const char* p = command.synopsis;
  bool first = true;
  while (*p) {
    const char* end = std::strchr(p, '\n');
    const std::string line(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
    if (line[0] == ' ') {
      // Under the first form's command name.
      out += std::string(7 + sizeof kTool, ' ') + line + "\n";
    } else {
      out += std::string(first ? "usage: " : "       ") + kTool + " " + line + "\n";
    }
    first = false;
    if (!end) break;
    p = end + 1;
  }
  return out;
}

bool ParseField(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 11) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (!digit && !(i == 0 && text[i] == '-' && text.size() > 1)) return false;
  }
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

}  // namespace

bool ParsedLine::Has(const std::string& name) const {
  for (const GivenOption& o : options) {
    if (o.name == name) return true;
  }
  return false;
}

std::string ParsedLine::Value(const std::string& name, const std::string& fallback) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it) {
    if (it->name == name && !it->values.empty()) return it->values[0];
  }
  return fallback;
}

std::vector<std::string> ParsedLine::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const GivenOption& o : options) {
    if (o.name == name) values.insert(values.end(), o.values.begin(), o.values.end());
  }
  return values;
}

int ParsedLine::Verbosity() const {
  int level = 0;
  for (const GivenOption& o : options) {
    if (o.name == "verbose") ++level;
  }
  return Has("quiet") ? -1 : level;
}

ParsedLine Parse(const std::vector<std::string>& args, const CommandDef* const* commands,
                 size_t commandCount) {
  return Parser(args, commands, commandCount).Run();
}

std::string Closest(const std::string& typed, const std::vector<std::string>& candidates) {
  size_t dashes = 0;
  while (dashes < typed.size() && typed[dashes] == '-') ++dashes;
  const size_t letters = typed.size() - dashes;
  // One or two letters are too few to tell a slip from another word.
  if (letters < 3) return std::string();
  const size_t allowed = std::max<size_t>(1, letters / 3);
  std::string best;
  size_t bestDistance = allowed + 1;
  bool tie = false;
  for (const std::string& c : candidates) {
    const size_t d = Distance(typed, c);
    if (d < bestDistance) {
      best = c;
      bestDistance = d;
      tie = false;
    } else if (d == bestDistance && c != best) {
      tie = true;
    }
  }
  if (!best.empty() && !tie) return best;
  // A beginning that only one candidate has: "conv" for convert.
  std::string prefixed;
  for (const std::string& c : candidates) {
    if (!StartsWithNoCase(c, typed)) continue;
    if (!prefixed.empty()) return std::string();
    prefixed = c;
  }
  return prefixed;
}

std::string GeneralUsage() {
  return std::string("usage: ") + kTool + " [OPTIONS] COMMAND [ARGS]\n" + "       " + kTool +
         " help [COMMAND]\n" + "       " + kTool + " --version\n";
}

std::string GeneralHelp(const CommandDef* const* commands, size_t count) {
  std::string out = GeneralUsage() + "\ncommands:\n";
  size_t width = 7;
  for (size_t i = 0; i < count; ++i) width = std::max(width, std::strlen(commands[i]->name));
  for (size_t i = 0; i < count; ++i) {
    const std::string name = commands[i]->name;
    out += "  " + name + std::string(width + 2 - name.size(), ' ') + commands[i]->summary + "\n";
  }
  out += "  help" + std::string(width - 2, ' ') + "this list, or with a command its help\n";
  out += "  version" + std::string(width - 5, ' ') + "the same as --version\n";
  out += "\noptions (before or after the command):\n";
  AppendOptions(out, kGlobalOptions, kGlobalOptionCount);
  out +=
      "\nOptions take their value as --opt VALUE or --opt=VALUE; -- ends the options.\n"
      "Exit status 2 means the command line was not understood; each command's help\n"
      "gives its others. Ctrl+C stops a command with exit status 130.\n";
  return out;
}

std::string ShortUsage(const CommandDef& command) {
  return Synopsis(command) + "Run '" + kTool + " help " + command.name + "' for details.\n";
}

std::string CommandHelp(const CommandDef& command) {
  std::string out = Synopsis(command) + "\n" + command.description;
  if (command.optionCount > 0 || command.managerOptions) {
    out += "\noptions:\n";
    AppendOptions(out, command.options, command.optionCount);
    if (command.managerOptions) AppendOptions(out, kManagerOptions, kManagerOptionCount);
  }
  out += "\nGlobal options -q, -v, --lang and --help hold here too ('" + std::string(kTool) +
         " help').\n";
  if (command.epilogue) out += std::string("\n") + command.epilogue;
  return out;
}

bool ParseFormatRequest(const std::string& text, FormatRequest& request) {
  FormatRequest r;
  size_t start = 0;
  for (int field = 0; field < 3; ++field) {
    const size_t colon = text.find(':', start);
    const std::string part =
        text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!part.empty()) {
      if (!ParseField(part, r.value[field])) return false;
      r.has[field] = true;
    }
    if (colon == std::string::npos) break;
    if (field == 2) return false;  // a fourth field
    start = colon + 1;
  }
  if (!r.Any()) return false;
  request = r;
  return true;
}

void ApplyFormatRequest(const FormatRequest& request, int32_t& rate, int32_t& bits,
                        int32_t& channels) {
  int32_t* fields[] = {&rate, &bits, &channels};
  for (int i = 0; i < 3; ++i) {
    if (request.has[i]) *fields[i] = request.value[i];
  }
}

namespace {

std::string Clock(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  }
  return text;
}

}  // namespace

std::string ProgressLine(uint64_t done, uint64_t total, int32_t rate, double elapsed) {
  const double perSecond = rate > 0 ? rate : 1;
  const double audio = static_cast<double>(done) / perSecond;
  char text[160];
  std::string line;
  if (total > 0) {
    const double part = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const int kWidth = 30;
    const int filled = static_cast<int>(part * kWidth);
    line = "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(kWidth - filled), '-') + "]";
    std::snprintf(text, sizeof text, " %3d%%  %.1f of %.1f s", static_cast<int>(part * 100), audio,
                  static_cast<double>(total) / perSecond);
  } else {
    std::snprintf(text, sizeof text, "%.1f s", audio);
  }
  line += text;
  // A speed from the first tenth of a second says more about start-up than about speed.
  if (elapsed >= 0.1 && done > 0) {
    std::snprintf(text, sizeof text, "  %.1fx", audio / elapsed);
    line += text;
    if (total > done) {
      const double left = elapsed * static_cast<double>(total - done) / static_cast<double>(done);
      line += "  ETA " + Clock(left);
    }
  }
  return line;
}

const char* ResultCodeSentence(const std::string& name) {
  struct Row {
    const char* name;
    const char* sentence;
  };
  static const Row kRows[] = {
      {"Failure", "the operation failed"},
      {"InvalidParameter", "a value passed to the library or a plug-in is not valid"},
      {"InsufficientBuffer", "a buffer was too small for the data"},
      {"BadPathName", "the name is neither a usable file path nor an http or ftp URL"},
      {"FileInvalid", "no decoder could open the file: it is damaged, or of a kind none reads"},
      {"CallNotImplemented", "the component does not offer this operation"},
      {"EOF", "the data ended early"},
      {"OpenFailed", "the file could not be opened"},
      {"SeekFailed", "the position could not be reached"},
      {"BadFormat", "the audio format is not one the component handles"},
      {"ServiceNotActive", "a service the operation needs is not running"},
      {"ReadFault", "reading failed"},
      {"WriteFault", "writing failed (is the disk full or the file read-only?)"},
      {"WrongCall", "the call is not allowed at this point"},
      {"FileNotFound", "the file does not exist"},
  };
  for (const Row& row : kRows) {
    if (name == row.name) return row.sentence;
  }
  return nullptr;
}

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> args;
  size_t i = 0;
  const size_t n = line.size();
  const auto blank = [&](size_t at) { return line[at] == L' ' || line[at] == L'\t'; };
  // The program name: no escapes, a quote only opens or closes.
  std::wstring arg;
  bool quoted = false;
  for (; i < n && (quoted || !blank(i)); ++i) {
    if (line[i] == L'"') {
      quoted = !quoted;
    } else {
      arg += line[i];
    }
  }
  args.push_back(arg);
  for (;;) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    arg.clear();
    // Quotes seen in the current run: 1 inside a quoted part; a third in a row gives a
    // literal quote.
    int quotes = 0;
    size_t backslashes = 0;
    for (; i < n && (quotes != 0 || !blank(i)); ++i) {
      const wchar_t c = line[i];
      if (c == L'\\') {
        ++backslashes;
        arg += c;
        continue;
      }
      if (c != L'"') {
        backslashes = 0;
        arg += c;
        continue;
      }
      // A quote after backslashes: half of them stay; an odd count escapes the quote.
      arg.erase(arg.size() - backslashes / 2 - (backslashes % 2));
      if (backslashes % 2) {
        arg += L'"';
        backslashes = 0;
        continue;
      }
      backslashes = 0;
      ++quotes;
      while (i + 1 < n && line[i + 1] == L'"') {
        ++i;
        if (++quotes == 3) {
          arg += L'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    }
    args.push_back(arg);
  }
  return args;
}

}  // namespace cli
}  // namespace host
