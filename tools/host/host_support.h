// What several commands of the host tool share: the manager's setup as a host does it
// (key names, plug-in folder, Initialise), formats on the command line, finding
// components in the catalogue, and output files that appear only when complete.
#ifndef TB_TOOLS_HOST_SUPPORT_H
#define TB_TOOLS_HOST_SUPPORT_H

#include <tunebay/tunebay.h>

#include <functional>
#include <string>

#include "base/com.h"
#include "host.h"

namespace host {

/// The host's registry key names unless --keys says otherwise: the settings then live
/// under HKEY_CURRENT_USER\Software\Tunebay\Host\Tunebay.
extern const char* const kDefaultKeyName1;
extern const char* const kDefaultKeyName2;

/// The options every command that initialises the manager takes.
struct ManagerOptions {
  std::string plugins;  // the plug-in folder; ExeFolder() + "plugins" by default
  std::string keyName1 = kDefaultKeyName1;
  std::string keyName2 = kDefaultKeyName2;
};

/// The manager options of a command line (--plugins, --keys), over the defaults that
/// depend on where the tool lives.
ManagerOptions ManagerOptionsOf(const cli::ParsedLine& line);

/// Names the registry key, sets the plug-in folder and initialises the manager, the
/// order every host follows. Prints what failed and returns false; the manager is then
/// not initialised.
bool InitialiseManager(tb::IManager* manager, const ManagerOptions& options);

/// What a Finish that cannot unload the plug-ins means for a command. Finish stores the
/// settings all the same; only the libraries stay loaded until the tool exits.
enum class UnloadRefused {
  kFails,  // an error, and the command fails
  kWarns,  // a warning only: for a command whose work is the stored settings
};

/// Finish, saying why when the plug-ins cannot be unloaded. True when it succeeded.
bool FinishManager(tb::IManager* manager, UnloadRefused refused = UnloadRefused::kFails);

/// One command's time with the manager: loads the library, sets the manager up as
/// `options` say (InitialiseManager), runs `job`, finishes the manager and lets the
/// library go. Whatever the job took from the plug-ins must be released by the time
/// it returns, since Finish unloads them. Returns the job's exit status, or 1 when the
/// library or the setup failed, or when Finish failed and `refused` is kFails.
int RunWithManager(const ManagerOptions& options, const std::function<int(tb::IManager*)>& job,
                   UnloadRefused refused = UnloadRefused::kFails);

/// The value of --format (cli::ParseFormatRequest) of `line`, if given. False, after
/// printing the error and the usage, for a value that is not a format.
bool FormatOptionOf(const cli::ParsedLine& line, cli::FormatRequest& request);
/// `base` with the fields that `request` gives put in.
tb::AudioFormat Applied(const cli::FormatRequest& request, tb::AudioFormat base);
/// A Windows language identifier (LANGID), decimal or 0x-hexadecimal, 0 to 0xFFFF.
bool ParseLanguageId(const std::string& text, uint16_t& language);
/// OpenSource with the manager's proxy (flag kOpenWithProxy, pass -1), presenting the
/// source's own format with the fields that `request` gives put in. A request that
/// leaves some fields to the source opens it once to learn its format and, when the
/// format made whole differs, once more with it (for a URL: a second download). The
/// result and the slots are OpenSource's: `source` may be set although it returns false
/// (a decoder opened the source but the proxy could not wrap it).
bool OpenWithFormat(tb::IManager* manager, const std::string& name,
                    const cli::FormatRequest& request, tb::com_ptr<IUnknown>& source,
                    tb::com_ptr<tb::IError>& error);
/// "44100 Hz, 16 bits, 2 channels"
std::string FormatText(const tb::AudioFormat& format);
/// "44100:16:2"
std::string FormatShort(const tb::AudioFormat& format);

/// A component kind's word: "decoder", "encoder", ... ("other" for a kind not known).
const char* KindName(int32_t kind);
bool SameFormat(const tb::AudioFormat& a, const tb::AudioFormat& b);

/// The manager only accepts full paths and URLs. A relative file name typed on the
/// command line is made full against the current folder; everything else is passed on
/// as it is, so the manager judges it.
std::string SourceNameOf(const std::string& typed);

/// Adds to the manager's error for `url` what it cannot say: that no downloader handles
/// the URL's scheme. The downloader's own reason is in the manager's error already.
/// Does nothing for a name that is not a URL.
void ExplainUrlFailure(tb::IManager* manager, const std::string& url);

/// A component's name, and where it came from ("zqwave.dll #0"), for messages.
struct ComponentLabel {
  std::string name;    // "(no name)" when it gives none
  std::string module;  // the library's file name, empty when the manager does not say
  int32_t index = 0;
  std::string Text() const;    // "WAVE decoder (zqwave.dll)"
  std::string Origin() const;  // "zqwave.dll #0", empty when the manager does not say
};
ComponentLabel LabelOf(tb::IComponent* component, tb::IComponentOrigin* origins);

/// The library's rules (include/tunebay/rules.h), or null when the library does not
/// offer them.
tb::com_ptr<tb::IManagerRules> RulesOf(tb::IManager* manager);

/// The extension the library compares for the file name or path `name`; empty when it
/// has none or the rules are not offered.
std::string SearchExtension(tb::IManagerRules* rules, const std::string& name);

/// The encoder that writes files (ISinkFactory) to use for `outputPath`: with a
/// non-empty `wanted`, the first whose name or library file name is `wanted` (letter
/// case ignored); otherwise the first that lists the output's extension (IExtensionList).
/// An encoder that lists no extension is chosen only by name. Null, with the reason
/// printed (and for an unlisted extension, the extensions that are listed), when there
/// is none.
tb::com_ptr<tb::IComponent> FindEncoder(tb::IManager* manager, const std::string& wanted,
                                        const std::string& outputPath);

/// The catalogue component that the manager holds as its convertor, as a label; the
/// name "none" when the manager has none.
ComponentLabel ManagerConvertor(tb::IManager* manager);

/// An output file that appears under its name only when it is complete: the work goes
/// to a temporary file beside it, which Commit renames over the final name. Until
/// then, and whenever Commit is not reached, the temporary file is removed, so a
/// failed or interrupted job leaves neither a partial file nor a changed old one.
class PendingOutput {
 public:
  PendingOutput() = default;
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  /// Works out the full final path and a temporary one in the same folder. Prints why
  /// and returns false when the folder does not exist or the name is a folder.
  bool Prepare(const std::string& typed);
  const std::string& final_path() const { return final_; }
  const std::string& temp_path() const { return temp_; }
  /// Moves the temporary file over the final one. Prints why and returns false when
  /// it cannot; the temporary file is then removed.
  bool Commit();
  /// Removes the temporary file now (it must be closed).
  void Discard();

 private:
  std::string final_;
  std::string temp_;
  bool pending_ = false;
};

/// Seconds since some fixed moment, for timing a job.
double Now();

}  // namespace host

#endif  // TB_TOOLS_HOST_SUPPORT_H
