// What the manager remembers about plug-ins and searches (IPluginDiagnostics), in the
// tool's words: the scan's record of each file, the decoders a failed open asked, and
// names for fault codes.
#ifndef TB_TOOLS_PLUGIN_REPORT_H
#define TB_TOOLS_PLUGIN_REPORT_H

#include <tunebay/tunebay.h>

#include <string>
#include <vector>

namespace host {

/// The manager's diagnostics, or null when the library does not offer them.
tb::com_ptr<tb::IPluginDiagnostics> DiagnosticsOf(tb::IManager* manager);

/// "access violation (0xc0000005)", "C++ exception (0xe06d7363)", "exception 0x...".
std::string FaultText(unsigned long code);

/// Why the scan did what it did with a file, as a phrase: "loaded, 2 components",
/// "not loaded: built for x64 (64-bit); plug-ins must be 32-bit x86 libraries".
std::string LoadRecordText(const tb::LoadRecord& record);
/// Whether a record tells of a file that the user probably meant as a plug-in and that
/// did not become one (anything but loaded and skipped for its name).
bool IsLoadProblem(const tb::LoadRecord& record);
/// "load", "skipped", "no-entry-point" ...: a short key for JSON and scripts.
const char* LoadOutcomeKey(int32_t outcome);

/// The scan's records (empty when the library keeps none).
std::vector<tb::LoadRecord> LoadRecordsOf(tb::IManager* manager);

/// After a failed OpenSource: one line per decoder the search asked, on the error
/// stream ("  tried WAVE decoder (zqwave.dll), pass 0: declined"), or a line saying
/// that no decoder was asked.
void PrintDecoderAttempts(tb::IManager* manager);

}  // namespace host

#endif  // TB_TOOLS_PLUGIN_REPORT_H
