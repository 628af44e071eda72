// Tunebay SDK extension: why a plug-in did or did not load, and which decoders a
// search asked.
//
// The manager ignores a library it cannot use (a file of another architecture, one
// whose dependency is missing, one without the entry points) and goes on with the
// others, and OpenSource answers one error for a whole search. A host that wants to
// tell its user why a plug-in is not listed, or why a file did not open, asks this
// interface: the manager keeps one record per file its last scan considered and one
// per decoder the calling thread's last OpenSource asked. It is answered through the
// manager's QueryInterface like its other secondary interfaces, on the same identity
// and count; asking for it changes nothing the manager does.
//
// An extension of ours: a host that does not ask for it loses nothing.
#ifndef TUNEBAY_DIAGNOSTICS_H
#define TUNEBAY_DIAGNOSTICS_H

#include "types.h"

namespace tb {

/// Size of the texts in the records, with the terminating zero.
const int kDiagnosticTextSize = 260;

/// What the scan did with one file of the plug-in folder.
enum LoadOutcome : int32_t {
  kLoadLoaded = 0,        ///< loaded; `componentCount` components catalogued
  kLoadSkippedName = 1,   ///< neither a "zq" name nor an allow-listed one: not loaded
  kLoadSkippedPath = 2,   ///< its full path does not fit a path buffer, or the host's own
                          ///< folder (UseHostModuleFolder) cannot be found: not loaded
  kLoadFailed = 3,        ///< the system did not load it: `systemError`, and `detail` says
                          ///< why where the file tells (its machine, a missing library)
  kLoadNoEntryPoint = 4,  ///< loaded, but `detail` names an entry point it lacks; freed
  kLoadPrimaryFalse = 5,  ///< ORVA_PLUGIN_GetPrimaryAudioObject answered false or no object
  kLoadFault = 6,         ///< a fault was caught: `faultCode`, and `detail` names the call
  kLoadSetupRefused = 7,  ///< `refusedCount` components answered false to Setup (the first
                          ///< named in `detail`); `componentCount` stayed catalogued
  kLoadOutOfMemory = 8,   ///< the manager ran out of memory while loading it
};

/// One file the last scan considered, in the order the folder listed them.
struct LoadRecord {
  char fileName[kOriginNameSize];    ///< the folder entry's name ("zqwave.dll")
  int32_t outcome;                   ///< LoadOutcome
  uint32_t systemError;              ///< kLoadFailed: the loader's error code; else 0
  uint32_t faultCode;                ///< kLoadFault: the exception code; else 0
  int32_t componentCount;            ///< components catalogued from this file
  int32_t refusedCount;              ///< components dropped because Setup answered false
  char detail[kDiagnosticTextSize];  ///< a sentence or a name as the outcome says; may be empty
};

/// What one decoder answered to an OpenSource.
enum OpenAnswer : int32_t {
  kOpenOpened = 0,    ///< it opened the source
  kOpenDeclined = 1,  ///< false without an error object
  kOpenError = 2,     ///< false with an error object; `detail` is its message
  kOpenFinal = 3,     ///< as kOpenError, with a final verdict: the search ended there
  kOpenFault = 4,     ///< a fault was caught in Open: `faultCode`
  kOpenNoSource = 5,  ///< true, but it stored no source (counted as not opened)
};

/// One decoder asked by the last OpenSource on the calling thread, in asking order.
struct OpenAttempt {
  char component[kDiagnosticTextSize];   ///< the decoder's name (GetName), or empty
  char moduleFileName[kOriginNameSize];  ///< the library it came from, or empty
  int32_t pass;                          ///< 0: it lists the extension; 1: the others
  int32_t answer;                        ///< OpenAnswer
  uint32_t faultCode;                    ///< kOpenFault: the exception code; else 0
  char detail[kDiagnosticTextSize];      ///< kOpenError, kOpenFinal: the error's message
};

struct IPluginDiagnostics : public IUnknown {
  /// The number of files the last Initialise's scan considered (0 before any).
  /// [main-thread], like Initialise, which replaces the records.
  virtual int32_t TB_STDCALL GetLoadRecordCount() = 0;
  /// Copies record `index` into `*record`. False, `*record` untouched, for an index
  /// outside the range or a null `record`. [main-thread]
  virtual bool TB_STDCALL GetLoadRecord(int32_t index, LoadRecord* record) = 0;

  /// The number of decoders that the last OpenSource made on the calling thread asked
  /// (0 when it asked none: a missing file, a bad name, or no OpenSource yet). Each
  /// thread sees its own last search; a download's local copy is searched as a file.
  /// [any-thread]
  virtual int32_t TB_STDCALL GetOpenAttemptCount() = 0;
  /// Copies attempt `index` of that search into `*attempt`. False, `*attempt`
  /// untouched, for an index outside the range or a null `attempt`. [any-thread]
  virtual bool TB_STDCALL GetOpenAttempt(int32_t index, OpenAttempt* attempt) = 0;

  /// Whether the scan would load a file of this name from the plug-in folder: a name
  /// that starts with "zq" or one of the allow-listed names, ending in ".dll" (any
  /// ASCII case either way). False for null. [any-thread]
  virtual bool TB_STDCALL IsAdmittedFileName(const char* name) = 0;

  /// Sends the library's trace, a line for each decision of the scan and the search,
  /// to `destination`: "1" (or "stderr") writes to the standard error and the
  /// debugger, any other text names a file that lines are appended to, null or ""
  /// turns the trace off. The environment variable TUNEBAY_TRACE, read when the
  /// manager is created, takes the same values. False when the file cannot be opened
  /// (the trace is then off). [any-thread]
  virtual bool TB_STDCALL SetTrace(const char* destination) = 0;
};

}  // namespace tb

TB_DECLARE_IID(IPluginDiagnostics, "DE471506-DA59-4EDD-9BD3-56A6215E2E7C", 0xDE471506, 0xDA59,
               0x4EDD, 0x9B, 0xD3, 0x56, 0xA6, 0x21, 0x5E, 0x2E, 0x7C)

#endif  // TUNEBAY_DIAGNOSTICS_H
