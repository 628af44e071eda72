// The host tool: loads tunebay.dll the way any host does and drives the manager
// from the command line. Each command lives in its own file.
#ifndef TB_TOOLS_HOST_H
#define TB_TOOLS_HOST_H

#include <tunebay/tunebay.h>

#include <string>
#include <vector>

namespace host {

/// The loaded library and the manager it handed out.
struct Session {
  HMODULE library = nullptr;
  tb::IManager* manager = nullptr;
};

/// The dialogs' language that --lang asked for (a LANGID), or -1 for the manager's own.
extern int g_language;

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

/// Commands: each returns the process exit status.
int CommandInterfaces(const Args& args);
int CommandOrder(const Args& args);
int CommandList(const Args& args);
int CommandOpen(const Args& args);
int CommandConvert(const Args& args);
/// convert with several inputs, folders or --out-dir (cmd_convert_batch.cpp).
bool IsBatchConvert(const Args& args);
int CommandConvertBatch(const Args& args);
int CommandInfo(const Args& args);
int CommandTone(const Args& args);
int CommandSettings(const Args& args);
int CommandLanguages(const Args& args);
/// doctor (cmd_doctor.cpp): each plug-in file checked in a child process that runs the
/// hidden command kDoctorChildCommand on it.
int CommandDoctor(const Args& args);
int CommandDoctorChild(const Args& args);
extern const char* const kDoctorChildCommand;

}  // namespace host

#endif  // TB_TOOLS_HOST_H
