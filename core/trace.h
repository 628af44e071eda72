// The debug trace: a few routines say what they decided. Nothing is written in an
// ordinary build; with TB_ENABLE_TRACE defined the texts go to the debugger.
#ifndef TB_CORE_TRACE_H
#define TB_CORE_TRACE_H

namespace tb {

/// Formats a printf-style text and hands it to the trace.
void Trace(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

/// Receives every formatted trace text while set; null stops it. Lets tests check
/// what the trace was told without a debugger.
using TraceSink = void (*)(const char* text);
void SetTraceSink(TraceSink sink) noexcept;

}  // namespace tb

#endif  // TB_CORE_TRACE_H
