// tunebay-host settings: opens the manager's settings dialog for the user's settings,
// in the language asked for, and finishes the manager afterwards so that what the user
// chose is stored.
#include <cstdio>
#include <string>

#include "base/com.h"
#include "host_support.h"

namespace host {

namespace {

const CommandHelp kSettingsHelp = {
    "usage: tunebay-host settings [--plugins DIR] [--keys NAME1 NAME2] [--lang LANGID]\n"
    "\n"
    "Loads the plug-ins as a host does and opens \"Audio Format Settings\", where the\n"
    "decoders' order and the artist/title source are chosen. When the dialog is closed,\n"
    "the manager finishes, which stores the settings.\n"
    "\n",
    "  --lang LANGID        the dialogs' language as a Windows language identifier,\n"
    "                       decimal or 0x-hexadecimal, e.g. 0x0407 for German (default:\n"
    "                       the manager's own, English)\n"
    "\n"
    "Exit status: 0 when the dialog was closed (with Close or cancelled), 1 when the\n"
    "manager failed or showed no dialog, 2 for bad arguments.\n"};

struct Options {
  bool help = false;
  ManagerOptions manager;
};

bool Parse(const Args& args, Options& options) {
  DefaultManagerOptions(options.manager);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--lang" && i + 1 < args.size()) {
      uint16_t language = 0;
      if (!ParseLanguageId(args[++i], language)) {
        std::fprintf(stderr, "error: --lang needs a language identifier from 0 to 0xFFFF: %s\n",
                     args[i].c_str());
        return false;
      }
      g_language = language;
    } else if (TakeManagerOption(args, i, options.manager)) {
    } else {
      std::fprintf(stderr, "error: unknown argument or missing value: %s\n", arg.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int CommandSettings(const Args& args) {
  Options options;
  if (!Parse(args, options)) return ShowHelpForBadArguments(kSettingsHelp);
  if (options.help) return ShowHelp(kSettingsHelp);
  return RunWithManager(
      options.manager,
      [&](tb::IManager* manager) {
        tb::com_ptr<tb::IManager> self(manager);
        tb::com_ptr<tb::ISettingsDialog> dialog = self.query<tb::ISettingsDialog>();
        if (!dialog) {
          std::fprintf(stderr, "error: the manager offers no settings dialog\n");
          return 1;
        }
        // Cancelling is the user's choice, not a failure; a decoder order stored by a
        // tab change before it is kept all the same.
        if (dialog->ShowSettingsDialog()) {
          std::printf("Settings dialog closed: the settings are stored.\n");
        } else {
          std::printf("Settings dialog cancelled: the artist/title source is unchanged.\n");
        }
        return 0;
      },
      UnloadRefused::kWarns);
}

}  // namespace host
