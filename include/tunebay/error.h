// Tunebay SDK: error objects.
//
// Operations report success as a bool and describe a failure through an optional
// error slot (IError**). When the slot is given and the operation fails for a reason
// it reports, the slot receives a new error object carrying one reference, which the
// caller releases. When the slot is null no error object is made. Error objects are
// immutable: every operation on them is [any-thread].
#ifndef TUNEBAY_ERROR_H
#define TUNEBAY_ERROR_H

#include "types.h"

namespace tb {

/// An immutable description of a failure. The library's error objects carry exactly
/// one of: a result code (tb::result), a Windows error number, or a message text.
struct IError : public IUnknown {
  /// The message text; never null, empty when none. Owned by the object, valid while
  /// the object lives.
  virtual const char* TB_STDCALL GetMessage() = 0;
  /// The result code (tb::result), 0 when none.
  virtual uint32_t TB_STDCALL GetCode() = 0;
  /// The Windows error number, 0 when none.
  virtual uint32_t TB_STDCALL GetSystemError() = 0;
};

/// Offered by a plug-in's own error objects, optionally. A verdict of kVerdictFinal
/// returned from a decoder's Open ends the source search at once: the library hands
/// this error to the caller without trying further decoders. The library's own error
/// objects never offer it.
struct IErrorVerdict : public IUnknown {
  /// The verdict; kVerdictFinal (1) means final, anything else lets the search go on.
  virtual int32_t TB_STDCALL GetVerdict() = 0;
};

}  // namespace tb

TB_DECLARE_IID(IError, "C6D81A4A-A3CB-4D32-9BB9-B370BC4EDE6C", 0xC6D81A4A, 0xA3CB, 0x4D32, 0x9B,
               0xB9, 0xB3, 0x70, 0xBC, 0x4E, 0xDE, 0x6C)
TB_DECLARE_IID(IErrorVerdict, "3CCD01A1-474C-4517-A9C4-D1E30D62922B", 0x3CCD01A1, 0x474C, 0x4517,
               0xA9, 0xC4, 0xD1, 0xE3, 0x0D, 0x62, 0x92, 0x2B)

#endif  // TUNEBAY_ERROR_H
