// tunebay-host settings: opens the manager's settings dialog for the user's settings,
// in the language asked for, and finishes the manager afterwards so that what the user
// chose is stored.
#include <cstdio>
#include <string>

#include "base/com.h"
#include "host_support.h"

namespace host {

const cli::CommandDef kSettingsCommand = {
    "settings",
    "the settings dialog; stores what is chosen",
    "settings [--plugins DIR] [--keys NAME1 NAME2]",
    "Loads the plug-ins as a host does and opens \"Audio Format Settings\", where the\n"
    "decoders' order and the artist/title source are chosen. When the dialog is closed,\n"
    "the manager finishes, which stores the settings. --lang LANGID (decimal or\n"
    "0x-hexadecimal, e.g. 0x0407 for German) chooses the dialogs' language.\n",
    nullptr,
    0,
    true,
    "Exit status: 0 when the dialog was closed (with Close or cancelled), 1 when the\n"
    "manager failed or showed no dialog, 2 for bad arguments.\n",
    0,
    0};

int CommandSettings(const cli::ParsedLine& line) {
  return RunWithManager(
      ManagerOptionsOf(line),
      [&](tb::IManager* manager) {
        tb::com_ptr<tb::IManager> self(manager);
        tb::com_ptr<tb::ISettingsDialog> dialog = self.query<tb::ISettingsDialog>();
        if (!dialog) {
          std::fprintf(stderr, "error: the manager offers no settings dialog\n");
          return 1;
        }
        // Cancelling is the user's choice, not a failure; a decoder order stored by a
        // tab change before it is kept all the same.
        const bool closed = dialog->ShowSettingsDialog();
        if (Quiet()) return 0;
        if (closed) {
          std::printf("Settings dialog closed: the settings are stored.\n");
        } else {
          std::printf("Settings dialog cancelled: the artist/title source is unchanged.\n");
        }
        return 0;
      },
      UnloadRefused::kWarns);
}

}  // namespace host
