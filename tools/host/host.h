// The host tool: loads tunebay.dll the way any host does and drives the manager
// from the command line. Each command lives in its own file.
#ifndef TB_TOOLS_HOST_H
#define TB_TOOLS_HOST_H

#include <tunebay/tunebay.h>

#include <string>
#include <vector>

#include "cli.h"

namespace host {

/// The loaded library and the manager it handed out.
struct Session {
  HMODULE library = nullptr;
  tb::IManager* manager = nullptr;
};

/// The dialogs' language that --lang asked for (a LANGID), or -1 for the manager's own.
extern int g_language;
/// -q and -v: -1 quiet (no progress, notes or summaries), 0 normal, 1 and up verbose.
/// OpenSession is where -v switches on the library's trace.
extern int g_verbosity;
inline bool Quiet() { return g_verbosity < 0; }

/// Loads tunebay.dll from the tool's own folder and calls GetTunebay, and sets the
/// language that --lang asked for. Prints the reason and returns false on failure.
bool OpenSession(Session& session);
/// Releases the manager (reporting the count the last Release returned) and frees
/// the library.
void CloseSession(Session& session);

/// The folder of the running executable, with a trailing backslash.
std::string ExeFolder();

/// Prints the message of an error object through the manager's DescribeError.
void PrintError(tb::IManager* manager, tb::IError* error, const char* what);

using Args = std::vector<std::string>;

/// The command line as the user typed it (GetCommandLineW), each argument in the system
/// code page that the manager's 8-bit interface takes. An argument with characters
/// outside that code page is passed as the short (8.3) form of the file or folder it
/// names, where the volume keeps one. False, with the reason printed, for an argument
/// that has neither.
bool WideCommandLine(Args& args);

/// printf for texts in the system code page, such as file names and tags: on a console
/// the characters reach it as they are (whatever its code page), and redirected output
/// is written as UTF-8.
void PrintOut(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// PrintOut, to the error stream.
void PrintErr(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// A text in the system code page (names, tags, messages) in UTF-8, for JSON.
std::string Utf8OfAnsi(const std::string& text);
/// A finished JSON document on standard output, as the UTF-8 it is. False, after
/// saying so, when the writer was driven out of the document's shape.
bool PrintJson(const class JsonWriter& json);

/// "error: " and the text, then the command's short usage, on the error stream, as for
/// every command line that makes no sense. Returns 2, the exit status for that.
int UsageError(const cli::CommandDef& command, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

/// The exit status of a command stopped by Ctrl+C or Ctrl+Break, as shells give it.
const int kExitInterrupted = 130;

/// A command: what the parser knows of it, and what runs it. The table of commands is
/// in main.cpp: a new command is its definition and a run function there.
struct Command {
  const cli::CommandDef* def;
  int (*run)(const cli::ParsedLine& line);
};

/// Commands: each returns the process exit status.
extern const cli::CommandDef kInterfacesCommand;
int CommandInterfaces(const cli::ParsedLine& line);
extern const cli::CommandDef kOrderCommand;
int CommandOrder(const cli::ParsedLine& line);
extern const cli::CommandDef kListCommand;
int CommandList(const cli::ParsedLine& line);
extern const cli::CommandDef kOpenCommand;
int CommandOpen(const cli::ParsedLine& line);
extern const cli::CommandDef kConvertCommand;
int CommandConvert(const cli::ParsedLine& line);
/// convert with several inputs, folders or --out-dir (cmd_convert_batch.cpp).
bool IsBatchConvert(const cli::ParsedLine& line);
int CommandConvertBatch(const cli::ParsedLine& line);
extern const cli::CommandDef kInfoCommand;
int CommandInfo(const cli::ParsedLine& line);
extern const cli::CommandDef kToneCommand;
int CommandTone(const cli::ParsedLine& line);
extern const cli::CommandDef kSettingsCommand;
int CommandSettings(const cli::ParsedLine& line);
extern const cli::CommandDef kLanguagesCommand;
int CommandLanguages(const cli::ParsedLine& line);
/// doctor (cmd_doctor.cpp): each plug-in file checked in a child process that runs the
/// hidden command kDoctorChildCommand on it (the tool's own command line, before the
/// parser).
extern const cli::CommandDef kDoctorCommand;
int CommandDoctor(const cli::ParsedLine& line);
int CommandDoctorChild(const Args& args);
extern const char* const kDoctorChildCommand;

}  // namespace host

#endif  // TB_TOOLS_HOST_H
