// Tunebay SDK: the basic types, constants and identifier machinery shared by the
// library, its hosts and its plug-ins.
//
// The binary contract is 32-bit x86 Windows. Every interface operation is __stdcall
// (the callee pops its arguments); the exported functions are extern "C" __cdecl.
// Booleans are 8-bit C++ bool returned in AL; 64-bit results come back in EDX:EAX.
// Texts are 8-bit, zero-terminated, in the system code page.
//
// Conventions of every operation in these headers, unless its comment says otherwise:
// - Results are bool; a failure is described through an optional error slot
//   (IError**), which receives a new error object with one reference when given.
// - Whatever is stored into an out-slot carries one reference for the receiver; a
//   returned text or record belongs to the object and stays valid until it changes or
//   the object goes. Pointers passed in are only read during the call.
// - A null pointer where an object, a text or an out-slot is expected gives false and
//   changes nothing.
// - Threads: the library starts none. [main-thread] marks operations for the thread
//   that initialises the manager; [any-thread] those safe from any thread at any time
//   (AddRef and Release of every object are); every other operation is "serialised":
//   the host makes one call at a time to one object, while different objects may be
//   used on different threads at once. docs/sdk.md gathers the rules.
#ifndef TUNEBAY_TYPES_H
#define TUNEBAY_TYPES_H

#include <stdint.h>
#include <unknwn.h>

/// Calling convention of every interface operation.
#define TB_STDCALL __stdcall
/// Calling convention of the exported functions (GetTunebay and the plug-in entry points).
#define TB_CDECL __cdecl
/// Declares an exported function with a plain (undecorated) name. Hosts and plug-ins
/// built with MSVC should still list the names in a .def file.
#define TB_EXPORT extern "C" __declspec(dllexport)

namespace tb {

/// Identifier trait: tb::iid_of<I>() gives the 16-byte identifier of interface I.
/// Specialised once per interface by TB_DECLARE_IID.
template <class I>
struct iid_traits;

template <class I>
inline const GUID& iid_of() {
  return iid_traits<I>::value();
}

/// The base identifier {00000000-0000-0000-C000-000000000046}, defined here so that
/// hosts and plug-ins need no uuid library for IID_IUnknown.
template <>
struct iid_traits<IUnknown> {
  static const GUID& value() {
    static const GUID id = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    return id;
  }
};

}  // namespace tb

/// Declares the identifier of interface tb::I (at global scope, after I), given twice:
/// as registry text without braces and as numbers, which must agree. The numbers make
/// tb::iid_of<I>(); under MSVC (and clang in its mode) the text goes to
/// __declspec(uuid) and under mingw the numbers to __CRT_UUID_DECL, so that
/// __uuidof(tb::I) works with either compiler. No uuid library is needed for either.
#if defined(_MSC_VER)
#if defined(TB_CHECK_IID_TEXT) && defined(__clang__)
// The SDK's own check: text and numbers agree (clang evaluates __uuidof as a constant).
#define TB_UUIDOF_CHECK(I, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                   \
  static_assert(__uuidof(tb::I).Data1 == l && __uuidof(tb::I).Data2 == w1 &&            \
                    __uuidof(tb::I).Data3 == w2 && __uuidof(tb::I).Data4[0] == b1 &&    \
                    __uuidof(tb::I).Data4[1] == b2 && __uuidof(tb::I).Data4[2] == b3 && \
                    __uuidof(tb::I).Data4[3] == b4 && __uuidof(tb::I).Data4[4] == b5 && \
                    __uuidof(tb::I).Data4[5] == b6 && __uuidof(tb::I).Data4[6] == b7 && \
                    __uuidof(tb::I).Data4[7] == b8,                                     \
                "identifier text and numbers of " #I " differ");
#else
#define TB_UUIDOF_CHECK(I, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif
#define TB_UUIDOF_DECL(I, text, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  namespace tb {                                                           \
  struct __declspec(uuid(text)) I;                                         \
  }                                                                        \
  TB_UUIDOF_CHECK(I, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#elif defined(__MINGW32__)
#define TB_UUIDOF_DECL(I, text, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  __CRT_UUID_DECL(tb::I, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#define TB_UUIDOF_DECL(I, text, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif

#define TB_DECLARE_IID(I, text, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)  \
  namespace tb {                                                            \
  template <>                                                               \
  struct iid_traits<I> {                                                    \
    static const GUID& value() {                                            \
      static const GUID id = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}; \
      return id;                                                            \
    }                                                                       \
  };                                                                        \
  }                                                                         \
  TB_UUIDOF_DECL(I, text, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)

namespace tb {

/// An audio format. Two formats are equal when all three fields are equal.
/// Bytes per second = (bitsPerSample / 8, truncated) * channels * sampleRate.
struct AudioFormat {
  int32_t sampleRate;     ///< samples per second per channel (Hz)
  int32_t bitsPerSample;  ///< bits of one sample of one channel
  int32_t channels;       ///< number of interleaved channels
};

/// Size of the module file name field of ComponentOrigin, with its terminating zero.
const int kOriginNameSize = 260;

/// Where a catalogue component came from: the plug-in library's file name as the
/// folder search returned it (zero-terminated, cut to 259 characters) and the
/// component's index in the innermost collection that delivered it (0 for a
/// library's primary object itself).
struct ComponentOrigin {
  char moduleFileName[kOriginNameSize];
  int32_t index;
};

/// Component kinds, as IComponent::GetKind answers them.
enum ComponentKind : int32_t {
  kKindCollection = 2,  ///< a collection of further components (IComponentCollection)
  kKindDecoder = 3,     ///< opens sources (ISourceOpener, IExtensionList)
  kKindEncoder = 4,     ///< writes audio
  kKindConvertor = 5,   ///< converts between formats (IConvertor)
  kKindDownloader = 6,  ///< fetches URLs to local files (IDownloader)
};

/// Event codes that the manager sends through Notify; the parameter is its IManager.
enum ManagerEvent : int32_t {
  kEventHostText1 = 300,   ///< after IHostSettings::SetHostText1
  kEventHostNumber = 301,  ///< after IHostSettings::SetHostNumber
  kEventHostText2 = 302,   ///< after IHostSettings::SetHostText2
  kEventLanguage = 400,    ///< after ILanguageSetting::SetLanguage
};

/// Bit of OpenSource's required mask that also asks for a proxy in the host's format.
/// It is passed on to the decoders' feature-mask filter unchanged, so only decoders
/// whose feature mask has it are chosen for a wrapped request.
const uint32_t kOpenWithProxy = 0x1000;

/// Bits of IDownloader::GetProtocols.
const uint32_t kProtocolHttp = 2;
const uint32_t kProtocolFtp = 4;

/// Bit of ISourceOpener's GetCapabilities: the component opens sources.
const uint32_t kCapabilityOpensSources = 1;

/// IErrorVerdict::GetVerdict value that ends a source search at once.
const int32_t kVerdictFinal = 1;

/// Size of the buffer that IDownloader::Download receives for the local copy's path,
/// with its terminating zero.
const int kLocalPathSize = 256;

/// Result codes carried by error objects (IError::GetCode). Each has a name that
/// IManager::DescribeError gives as the message; the name of EndOfFile is "EOF".
namespace result {
const uint32_t Failure = 0x80000000u;
const uint32_t InvalidParameter = 0x80000001u;
const uint32_t InsufficientBuffer = 0x80000002u;
const uint32_t BadPathName = 0x80000003u;
const uint32_t FileInvalid = 0x80000004u;
const uint32_t CallNotImplemented = 0x80000005u;
const uint32_t EndOfFile = 0x80000006u;
const uint32_t OpenFailed = 0x80000007u;
const uint32_t SeekFailed = 0x80000008u;
const uint32_t BadFormat = 0x80000009u;
const uint32_t ServiceNotActive = 0x80000010u;
const uint32_t ReadFault = 0x80000011u;
const uint32_t WriteFault = 0x80000012u;
const uint32_t WrongCall = 0x80000013u;
const uint32_t FileNotFound = 0x80000014u;
}  // namespace result

}  // namespace tb

#endif  // TUNEBAY_TYPES_H
