#include "plugins/common/file_stream.h"

#include <algorithm>
#include <limits>

#include "plugins/common/plugin_error.h"

namespace tb::plugin {
namespace {

// ReadFile and WriteFile take 32-bit counts; larger transfers go in pieces.
const size_t kMaxPiece = 1u << 30;

}  // namespace

unique_hfile OpenFileReporting(const std::string& path, DWORD access, DWORD share,
                               DWORD disposition, const char* verb, IError** error) {
  unique_hfile file(CreateFileA(path.c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD code = GetLastError();
    const std::string text = std::string(verb) + " " + path + ": " + SystemErrorText(code);
    SetError(error, result::OpenFailed, text.c_str(), code);
  }
  return file;
}

unique_hfile CreateFileReporting(const std::string& path, DWORD access, DWORD share,
                                 IError** error) {
  unique_hfile file(CreateFileA(path.c_str(), access, share, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) return file;
  // The name is taken (or the file cannot be made at all, which this says as well).
  return OpenFileReporting(path, access, share, CREATE_ALWAYS, "cannot create", error);
}

uint64_t FileReader::Size() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file_, &size)) {
    lastError_ = GetLastError();
    return 0;
  }
  return static_cast<uint64_t>(size.QuadPart);
}

size_t FileReader::ReadAt(uint64_t offset, void* buffer, size_t size) {
  lastError_ = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  // No file reaches so far: past the end, where a read finds nothing.
  if (offset > static_cast<uint64_t>(std::numeric_limits<LONGLONG>::max())) return 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) {
    lastError_ = GetLastError();
    return 0;
  }
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxPiece));
    DWORD got = 0;
    if (!ReadFile(file_, out + done, want, &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_HANDLE_EOF) lastError_ = error;
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool FileWriter::Write(const void* data, size_t size) {
  const auto* in = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxPiece));
    DWORD put = 0;
    if (!WriteFile(file_, in + done, want, &put, nullptr)) {
      lastError_ = GetLastError();
      return false;
    }
    if (put == 0) {
      lastError_ = ERROR_WRITE_FAULT;
      return false;
    }
    done += put;
  }
  return true;
}

bool FileWriter::Seek(uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN)) {
    lastError_ = GetLastError();
    return false;
  }
  return true;
}

}  // namespace tb::plugin
