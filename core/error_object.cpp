#include "core/error_object.h"

#include <cstdio>
#include <new>

#include "base/com.h"
#include "base/handles.h"

namespace tb {

namespace {

struct ResultCodeNameRow {
  uint32_t code;
  const char* name;
};

// The named result codes, in the order hosts know them.
const ResultCodeNameRow kResultCodeNames[] = {
    {result::Failure, "Failure"},
    {result::InvalidParameter, "InvalidParameter"},
    {result::InsufficientBuffer, "InsufficientBuffer"},
    {result::BadPathName, "BadPathName"},
    {result::FileInvalid, "FileInvalid"},
    {result::CallNotImplemented, "CallNotImplemented"},
    {result::EndOfFile, "EOF"},
    {result::OpenFailed, "OpenFailed"},
    {result::SeekFailed, "SeekFailed"},
    {result::BadFormat, "BadFormat"},
    {result::ServiceNotActive, "ServiceNotActive"},
    {result::ReadFault, "ReadFault"},
    {result::WriteFault, "WriteFault"},
    {result::WrongCall, "WrongCall"},
    {result::FileNotFound, "FileNotFound"},
};

}  // namespace

ErrorObject::ErrorObject(uint32_t systemError, uint32_t code, std::string message)
    : systemError_(systemError), code_(code), message_(std::move(message)) {}

ErrorObject* ErrorObject::FromCode(uint32_t code) noexcept {
  try {
    return new ErrorObject(0, code, std::string());
  } catch (...) {
    return nullptr;
  }
}

ErrorObject* ErrorObject::FromParts(uint32_t code, uint32_t systemError,
                                    const char* message) noexcept {
  try {
    return new ErrorObject(systemError, code, message ? std::string(message) : std::string());
  } catch (...) {
    return nullptr;
  }
}

ErrorObject* ErrorObject::FromSystemError(uint32_t number) noexcept {
  try {
    return new ErrorObject(number, 0, std::string());
  } catch (...) {
    return nullptr;
  }
}

ErrorObject* ErrorObject::FromMessage(const char* message) noexcept {
  try {
    return new ErrorObject(0, 0, message ? std::string(message) : std::string());
  } catch (...) {
    return nullptr;
  }
}

const char* TB_STDCALL ErrorObject::GetMessage() noexcept { return message_.c_str(); }
uint32_t TB_STDCALL ErrorObject::GetCode() noexcept { return code_; }
uint32_t TB_STDCALL ErrorObject::GetSystemError() noexcept { return systemError_; }

void ReportError(IError** slot, uint32_t code) noexcept {
  if (slot) *slot = ErrorObject::FromCode(code);
}

const char* ResultCodeName(uint32_t code) noexcept {
  for (const ResultCodeNameRow& row : kResultCodeNames) {
    if (row.code == code) return row.name;
  }
  return nullptr;
}

std::string SystemErrorText(uint32_t number) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, number, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
      nullptr);
  // Given back also when building the text below throws.
  auto freeText = make_scope_exit([&] {
    if (text) LocalFree(text);
  });
  std::string message;
  if (length != 0 && text) {
    message.assign(text, length);
  } else {
    // The platform knows no text for this number; say so plainly rather than leave
    // the host with an empty message.
    message = "Unknown system error";
  }
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " (error # %lx)", static_cast<unsigned long>(number));
  return message + suffix;
}

bool DescribeError(IError* error, IError** out) noexcept {
  if (!error || !out) return false;
  const char* message = error->GetMessage();
  if (message && message[0] != '\0') {
    error->AddRef();
    *out = error;
    return true;
  }
  uint32_t code = error->GetCode();
  if (code != 0) {
    const char* name = ResultCodeName(code);
    if (!name) return false;
    *out = ErrorObject::FromMessage(name);
    return *out != nullptr;
  }
  // Out of memory: no described error, and a false result that says so.
  try {
    *out = ErrorObject::FromMessage(SystemErrorText(error->GetSystemError()).c_str());
  } catch (...) {
    *out = nullptr;
  }
  return *out != nullptr;
}

}  // namespace tb
