// The trace: a few routines say what they decided (which files the scan loaded or
// skipped and why, which decoders a search asked). Off unless turned on: by the
// environment variable TUNEBAY_TRACE when the manager is created, by a host through
// IPluginDiagnostics::SetTrace, or from the start in a build with TB_ENABLE_TRACE
// (the debugger then hears every text). When off, a Trace call costs one test.
#ifndef TB_CORE_TRACE_H
#define TB_CORE_TRACE_H

namespace tb {

/// Whether anyone hears the trace; callers may skip preparing a costly text.
bool TraceEnabled() noexcept;

/// Formats a printf-style text and hands it to the trace.
void Trace(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

/// Where the trace goes: "1" or "stderr" the standard error and the debugger, any other
/// text a file that lines are appended to, null or "" nowhere. False, and the trace
/// off, when the file cannot be opened.
bool SetTraceDestination(const char* destination) noexcept;
/// Applies TUNEBAY_TRACE, when it is set.
void TraceFromEnvironment() noexcept;

/// Receives every formatted trace text while set; null stops it. Lets tests check
/// what the trace was told without a debugger.
using TraceSink = void (*)(const char* text);
void SetTraceSink(TraceSink sink) noexcept;

}  // namespace tb

#endif  // TB_CORE_TRACE_H
