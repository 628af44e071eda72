// Stand-in for the Windows SDK's unknwn.h when the SDK headers are compiled with clang
// in MSVC mode: the declarations they use, spelled as the Windows SDK spells them
// (IUnknown with __declspec(uuid), so __uuidof(IUnknown) works as it does there).
// Only for the syntax check of the tests; real MSVC builds use the real header.
#ifndef TB_TEST_MSVC_UNKNWN_H
#define TB_TEST_MSVC_UNKNWN_H

typedef long HRESULT;
typedef long LONG;
typedef unsigned long ULONG;
typedef struct _GUID {
  unsigned long Data1;
  unsigned short Data2;
  unsigned short Data3;
  unsigned char Data4[8];
} GUID;
typedef GUID IID;
#define STDMETHODCALLTYPE __stdcall
#define S_OK ((HRESULT)0)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#ifdef __cplusplus
#define REFIID const IID&
struct __declspec(uuid("00000000-0000-0000-C000-000000000046")) __declspec(novtable) IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
#else
#define REFIID const IID*
typedef struct IUnknown IUnknown;
#endif

#endif  // TB_TEST_MSVC_UNKNWN_H
