// The host tool's command line, as one parser for every command: the command table's
// shape, the parse itself, the "did you mean" guesses, the --format rule, the help
// texts made from the table, the progress line and the sentences behind the library's
// result-code names. Platform-free, so it also builds natively under the sanitizers.
//
// Conventions the parser gives every command:
//   --opt=value and --opt value; short flags (-q, -y) may be grouped (-qy)
//   --              ends the options: everything after it is an operand
//   -h, --help      the command's help on standard output, exit 0
//   unknown options and commands: one line naming it, a guess when one is close, then
//   the usage, all on the error stream, exit 2
// Global options (-q, -v, --lang, --version, --help) are taken before and after the
// command name; a command's own option of the same name wins.
#ifndef TB_TOOLS_HOST_CLI_H
#define TB_TOOLS_HOST_CLI_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {
namespace cli {

/// The arguments of a Windows command line (GetCommandLineW's text), by the rules the
/// shell's own splitter follows: the program name runs to the first blank, or is quoted
/// whole; in the others, blanks outside quotes separate, 2n backslashes before a quote
/// give n and the quote opens or closes a quoted part, 2n+1 give n and a literal quote,
/// other backslashes stand as they are, and three quotes in a row give one literal one.
/// The program name is the first element.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);

/// One option. `name` is the long name without dashes ("format" for --format), or a
/// single letter for an option that has only a short form ("y" for -y).
struct OptionDef {
  const char* name;
  char shortName;     // '\0' for none; -x as another spelling of --name
  int values;         // how many values follow: 0 for a flag, 1, or 2 (--keys A B)
  const char* value;  // the values' placeholder in the help ("DIR", "NAME1 NAME2")
  const char* help;   // the help text, filled to the width when printed
};

/// One command: its options and what its help says. A command's run function lives
/// with the table in main.cpp; this part is what the parser needs.
struct CommandDef {
  const char* name;
  const char* summary;      // one line for the list of commands
  const char* synopsis;     // "NAME [--json]": lines after "usage: tunebay-host "
  const char* description;  // the paragraph(s) of the help before the options
  const OptionDef* options;
  size_t optionCount;
  bool managerOptions;   // takes --plugins and --keys (kManagerOptions) too
  const char* epilogue;  // after the options: exit statuses and notes; may be null
  size_t minOperands;
  size_t maxOperands;  // kAnyCount for no limit
};

constexpr size_t kAnyCount = static_cast<size_t>(-1);

/// The options every command understands, wherever they stand.
extern const OptionDef kGlobalOptions[];
extern const size_t kGlobalOptionCount;
/// --plugins DIR and --keys NAME1 NAME2: the options of every command that sets up the
/// manager (CommandDef::managerOptions).
extern const OptionDef kManagerOptions[];
extern const size_t kManagerOptionCount;

/// An option as it was given: its name (the long one when it has both) and values.
struct GivenOption {
  std::string name;
  std::vector<std::string> values;
};

/// What the command line asks for.
struct ParsedLine {
  enum class Action {
    kRun,      // run `command` with `options` and `operands`
    kUsage,    // no command: the general usage on the error stream, exit 2
    kHelp,     // help: for `command`, or the general help when it is null
    kVersion,  // the versions
    kError,    // `error` says what is wrong; `command` is null when it is unknown
  } action = Action::kUsage;
  const CommandDef* command = nullptr;
  std::vector<GivenOption> options;  // in the order given, globals included
  std::vector<std::string> operands;
  std::string error;  // one line without "error: " and line end

  /// Whether an option (by long name, or short letter of a short-only one) was given.
  bool Has(const std::string& name) const;
  /// The value of the last occurrence of a one-value option, or `fallback`.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
  /// All values of every occurrence, in order.
  std::vector<std::string> Values(const std::string& name) const;
  /// -q / -v: -1 quiet, 0 normal, 1 and up verbose (each -v counts).
  int Verbosity() const;
};

/// Parses `args` (the command line without the program name) against `commands`.
/// A command named "help" or "version" need not be in the table: `help`, `help NAME`
/// and `version` are understood by the parser itself.
ParsedLine Parse(const std::vector<std::string>& args, const CommandDef* const* commands,
                 size_t commandCount);

/// The closest of `candidates` to `typed`, or empty when none is close enough to be
/// what was meant (edit distance at most a third of the length, or a unique prefix).
std::string Closest(const std::string& typed, const std::vector<std::string>& candidates);

/// The general usage: the synopsis, the commands with their summaries, the global
/// options.
std::string GeneralHelp(const CommandDef* const* commands, size_t commandCount);
/// The general usage in three lines and where the commands are listed: what follows
/// an error when no command is known.
std::string GeneralUsage();
/// "usage: tunebay-host ..." for one command, followed by "Run 'tunebay-host help NAME'
/// for details": what follows an error.
std::string ShortUsage(const CommandDef& command);
/// The whole help of one command: usage, description, options, epilogue.
std::string CommandHelp(const CommandDef& command);

/// A format as typed for --format: RATE[:BITS[:CHANNELS]], each field a decimal
/// number or empty. A field that is given replaces the one of the base format; an
/// empty or missing field keeps it. "48000" changes the rate only, "48000:24" rate and
/// bits, "::1" the channels, "48000:16:2" all three.
struct FormatRequest {
  bool has[3] = {false, false, false};  // rate, bits, channels
  int32_t value[3] = {0, 0, 0};
  bool Any() const { return has[0] || has[1] || has[2]; }
  bool All() const { return has[0] && has[1] && has[2]; }
};
/// False for anything else than the form above (a sign, a space, a fourth field, a
/// number outside 32 bits, nothing given at all).
bool ParseFormatRequest(const std::string& text, FormatRequest& request);
/// `base` with the given fields of `request` put in: rate, bits, channels.
void ApplyFormatRequest(const FormatRequest& request, int32_t& rate, int32_t& bits,
                        int32_t& channels);

/// The progress line of a job: "[####----]  42%  2.1 of 5.0 s  12.3x  ETA 0:03" with
/// `done` and `total` in frames and `elapsed` wall seconds. The speed and the ETA are
/// left out until there is something to judge them by; a total of 0 shows no bar.
std::string ProgressLine(uint64_t done, uint64_t total, int32_t rate, double elapsed);

/// What a bare result-code name of the library means, as a sentence for the user
/// ("BadPathName" -> "the name is not a usable file path or URL"); null for a text that
/// is not one of the names.
const char* ResultCodeSentence(const std::string& name);

}  // namespace cli
}  // namespace host

#endif  // TB_TOOLS_HOST_CLI_H
