// The WAVE code's byte streams over Windows file handles. The handles belong to the
// caller, who keeps them open while the stream is used.
#ifndef TB_PLUGINS_COMMON_FILE_STREAM_H
#define TB_PLUGINS_COMMON_FILE_STREAM_H

#include <tunebay/error.h>
#include <windows.h>

#include <string>

#include "base/handles.h"
#include "plugins/wav/byte_io.h"

namespace tb::plugin {

/// Opens `path` through CreateFileA with `access`, `share` and `disposition`. On
/// failure the handle is empty and the error slot (when given) receives OpenFailed with
/// "<verb> <path>: <the system's text>" and the system error number. May throw
/// std::bad_alloc.
unique_hfile OpenFileReporting(const std::string& path, DWORD access, DWORD share,
                               DWORD disposition, const char* verb, IError** error);

/// Creates `path` through CreateFileA with `access` and `share`, replacing a file of that
/// name; failures as OpenFileReporting's. A name that is free is created as a new file
/// and only a file that exists is truncated: Wine truncates every file it replaces,
/// even one it has just created, and on some Linux file systems (ext4) a truncated file
/// is written back in full when it is closed, which costs the closing of a large output
/// tens of milliseconds. May throw std::bad_alloc.
unique_hfile CreateFileReporting(const std::string& path, DWORD access, DWORD share,
                                 IError** error);

/// Positional reads: each read names its offset, so the reader keeps no file pointer
/// of its own and reads may come in any order. A read moves the handle's file pointer
/// and then reads from there, so a handle read by one thread at a time only: one
/// with the offset in an OVERLAPPED would need no seek, but under Wine every such read
/// also queues a completion through the server, a round trip that costs more than the
/// read itself.
class FileReader final : public wav::ByteReader {
 public:
  explicit FileReader(HANDLE file) noexcept : file_(file) {}
  /// The file's size now; 0 when it cannot be told.
  uint64_t Size() override;
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override;
  /// The Windows error of the last failed call, 0 after a read that merely hit the end.
  DWORD last_error() const noexcept { return lastError_; }

 private:
  HANDLE file_;
  DWORD lastError_ = 0;
};

/// Sequential writes through the handle's file pointer, which Seek moves.
class FileWriter final : public wav::ByteWriter {
 public:
  explicit FileWriter(HANDLE file = INVALID_HANDLE_VALUE) noexcept : file_(file) {}
  bool Write(const void* data, size_t size) override;
  bool Seek(uint64_t offset) override;
  /// Writes go to `file` from now on.
  void set_file(HANDLE file) noexcept { file_ = file; }
  /// The Windows error of the last failed call, 0 when none failed since clear_error.
  DWORD last_error() const noexcept { return lastError_; }
  void clear_error() noexcept { lastError_ = 0; }

 private:
  HANDLE file_;
  DWORD lastError_ = 0;
};

}  // namespace tb::plugin

#endif  // TB_PLUGINS_COMMON_FILE_STREAM_H
