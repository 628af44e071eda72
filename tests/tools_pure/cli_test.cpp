#include "tools/host/cli.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace host {
namespace cli {
namespace {

using Args = std::vector<std::string>;
using Action = ParsedLine::Action;

const OptionDef kConvertOptions[] = {
    {"format", '\0', 1, "R[:B[:C]]", "the format"},
    {"json", '\0', 0, nullptr, "as JSON"},
    {"y", '\0', 0, nullptr, "overwrite"},
    {"n", '\0', 0, nullptr, "keep"},
};
const CommandDef kConvert = {
    "convert", "converts", "convert IN OUT", "Converts.\n", kConvertOptions, 4, true, nullptr,
    2,         2};
const CommandDef kList = {
    "list", "lists", "list", "Lists.\n", kConvertOptions + 1, 1, true, "Exit status: 0.\n", 0, 0};
const CommandDef* const kTable[] = {&kConvert, &kList};

ParsedLine P(const Args& args) { return Parse(args, kTable, 2); }

TEST(cli_test, values_come_inline_or_next_and_double_dash_ends_options) {
  for (const Args& args :
       {Args{"convert", "--format=48000", "a", "b"}, Args{"convert", "a", "--format", "48000", "b"},
        Args{"--format", "1", "convert", "a", "b", "--format", "48000"}}) {
    const ParsedLine line = P(args);
    if (args[0] == "--format") {
      // Before the command only global options are known.
      EXPECT_EQ(line.action, Action::kError);
      continue;
    }
    ASSERT_EQ(line.action, Action::kRun) << line.error;
    EXPECT_EQ(line.Value("format"), "48000");
    EXPECT_EQ(line.operands, (Args{"a", "b"}));
  }
  const ParsedLine dashed = P({"convert", "--", "-a.wav", "--json"});
  ASSERT_EQ(dashed.action, Action::kRun) << dashed.error;
  EXPECT_EQ(dashed.operands, (Args{"-a.wav", "--json"}));
  EXPECT_FALSE(dashed.Has("json"));
  // A value may start with a dash: it is taken because the option wants one.
  EXPECT_EQ(P({"convert", "a", "b", "--format", "-1"}).Value("format"), "-1");
  const ParsedLine keys = P({"list", "--keys=A", "B", "--plugins", "D"});
  EXPECT_EQ(keys.Values("keys"), (Args{"A", "B"}));
  EXPECT_EQ(keys.Value("plugins"), "D");
}

TEST(cli_test, short_flags_group_and_globals_stand_anywhere) {
  const ParsedLine line = P({"-q", "convert", "a", "b", "-yv", "--lang=0x0407"});
  ASSERT_EQ(line.action, Action::kRun) << line.error;
  EXPECT_TRUE(line.Has("y"));
  EXPECT_TRUE(line.Has("quiet"));
  EXPECT_TRUE(line.Has("verbose"));
  EXPECT_EQ(line.Verbosity(), -1);
  EXPECT_EQ(line.Value("lang"), "0x0407");
  EXPECT_EQ(P({"list", "-v", "-v"}).Verbosity(), 2);
}

TEST(cli_test, mistakes_are_named_with_a_guess) {
  struct Case {
    Args args;
    const char* error;
    bool knowsCommand;
  };
  const Case cases[] = {
      {{"lsit"}, "unknown command 'lsit'; did you mean list?", false},
      {{"conv", "a", "b"}, "unknown command 'conv'; did you mean convert?", false},
      {{"frobnicate"}, "unknown command 'frobnicate'", false},
      {{"list", "--jsno"}, "unknown option --jsno for list; did you mean --json?", true},
      {{"list", "-json"}, "unknown option -json for list; did you mean --json?", true},
      {{"list", "--pluggins", "x"},
       "unknown option --pluggins for list; did you mean --plugins?",
       true},
      {{"list", "-x"}, "unknown option -x for list", true},
      {{"list", "--json=1"}, "--json takes no value", true},
      {{"convert", "a", "b", "--format"}, "--format needs a value: R[:B[:C]]", true},
      {{"list", "--keys", "A"}, "--keys needs values: NAME1 NAME2", true},
      {{"list", "extra"}, "list takes no operands, got 'extra'", true},
      {{"convert", "a", "b", "c"}, "unexpected operand 'c'", true},
      {{"convert", "a"}, "convert needs one more operand", true},
      {{"help", "lst"}, "no command 'lst'; did you mean list?", false},
  };
  for (const Case& c : cases) {
    const ParsedLine line = P(c.args);
    EXPECT_EQ(line.action, Action::kError) << c.args[0];
    EXPECT_EQ(line.error, c.error);
    EXPECT_EQ(line.command != nullptr, c.knowsCommand) << c.error;
  }
}

TEST(cli_test, help_version_and_usage) {
  EXPECT_EQ(P({}).action, Action::kUsage);
  EXPECT_EQ(P({"-q"}).action, Action::kUsage);
  EXPECT_EQ(P({"--version"}).action, Action::kVersion);
  EXPECT_EQ(P({"version"}).action, Action::kVersion);
  for (const Args& args : {Args{"help", "list"}, Args{"list", "--help"}, Args{"list", "-h", "x"}}) {
    const ParsedLine line = P(args);
    EXPECT_EQ(line.action, Action::kHelp);
    EXPECT_EQ(line.command, &kList);
  }
  const ParsedLine general = P({"help"});
  EXPECT_EQ(general.action, Action::kHelp);
  EXPECT_EQ(general.command, nullptr);

  const std::string help = CommandHelp(kList);
  EXPECT_EQ(help.rfind("usage: tunebay-host list\n", 0), 0u) << help;
  EXPECT_NE(help.find("  --keys NAME1 NAME2   the host's registry key names"), std::string::npos);
  EXPECT_NE(help.find("                       HKEY_CURRENT_USER"), std::string::npos);
  EXPECT_NE(help.find("Exit status: 0.\n"), std::string::npos);
  const std::string all = GeneralHelp(kTable, 2);
  EXPECT_NE(all.find("  convert  converts\n"), std::string::npos) << all;
  EXPECT_NE(all.find("  -q, --quiet"), std::string::npos);
}

TEST(cli_test, command_lines_split_as_the_shell_splits_them) {
  using W = std::vector<std::wstring>;
  const struct {
    const wchar_t* line;
    W args;
  } cases[] = {
      {L"prog a  b\t", {L"prog", L"a", L"b"}},
      {L"\"C:\\Program Files\\t.exe\" \"a b\" c", {L"C:\\Program Files\\t.exe", L"a b", L"c"}},
      {L"\"p q\"x y", {L"p qx", L"y"}},
      {L"p a\\b\\\\c", {L"p", L"a\\b\\\\c"}},    // backslashes before no quote
      {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},      // 3 then a quote: 1 and a quote
      {L"p \"a\\\\\" b", {L"p", L"a\\", L"b"}},  // 2 then a quote: 1, quote closes
      {L"p \"\" x", {L"p", L"", L"x"}},
      {L"p \"a\"\"\"b\"", {L"p", L"a\"b"}},  // three quotes: one literal
      {L"p \"open ended", {L"p", L"open ended"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.line), c.args) << std::string(c.line, c.line + wcslen(c.line));
  }
}

TEST(cli_test, closest_needs_a_clear_winner) {
  EXPECT_EQ(Closest("--jsn", {"--json", "--plugins"}), "--json");
  EXPECT_EQ(Closest("ORDRE", {"order", "open"}), "order");
  EXPECT_EQ(Closest("op", {"order", "open"}), "");  // too short to judge
  EXPECT_EQ(Closest("ope", {"open", "opel"}), "");  // a tie
  EXPECT_EQ(Closest("xyzzy", {"open", "list"}), "");
}

TEST(cli_test, format_changes_only_the_fields_given) {
  struct Case {
    const char* text;
    bool ok;
    int32_t rate, bits, channels;  // applied to 44100:16:2
  };
  const Case cases[] = {
      {"48000", true, 48000, 16, 2},
      {"48000:24", true, 48000, 24, 2},
      {"::1", true, 44100, 16, 1},
      {":24:", true, 44100, 24, 2},
      {"48000:24:1", true, 48000, 24, 1},
      {"", false, 0, 0, 0},
      {"::", false, 0, 0, 0},
      {"1:2:3:4", false, 0, 0, 0},
      {"+48000", false, 0, 0, 0},
      {"48000 ", false, 0, 0, 0},
      {"4294967296", false, 0, 0, 0},
      {"48k", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    FormatRequest request;
    ASSERT_EQ(ParseFormatRequest(c.text, request), c.ok) << c.text;
    if (!c.ok) continue;
    int32_t rate = 44100, bits = 16, channels = 2;
    ApplyFormatRequest(request, rate, bits, channels);
    EXPECT_EQ(rate, c.rate) << c.text;
    EXPECT_EQ(bits, c.bits) << c.text;
    EXPECT_EQ(channels, c.channels) << c.text;
  }
}

TEST(cli_test, progress_line_gives_speed_and_time_left) {
  EXPECT_EQ(ProgressLine(22050, 44100, 44100, 0.25),
            "[###############---------------]  50%  0.5 of 1.0 s  2.0x  ETA 0:00");
  EXPECT_EQ(ProgressLine(441000, 44100 * 7200, 44100, 10),
            "[------------------------------]   0%  10.0 of 7200.0 s  1.0x  ETA 1:59:50");
  // No speed until there is something to judge it by; no bar without a length.
  EXPECT_EQ(ProgressLine(0, 44100, 44100, 0.0),
            "[------------------------------]   0%  0.0 of 1.0 s");
  EXPECT_EQ(ProgressLine(88200, 0, 44100, 1.0), "2.0 s  2.0x");
}

TEST(cli_test, code_names_have_sentences) {
  EXPECT_NE(ResultCodeSentence("BadPathName"), nullptr);
  EXPECT_NE(ResultCodeSentence("FileInvalid"), nullptr);
  EXPECT_EQ(ResultCodeSentence("Disk full"), nullptr);
}

}  // namespace
}  // namespace cli
}  // namespace host
