/* Tunebay SDK for C: the plug-in side of the binary contract (and IManager for hosts)
 * as C structs with lpVtbl tables and call macros, the way C sees any COM-style SDK.
 *
 *   tb_ISourceData* data = ...;
 *   tb_ISourceData_Read(data, buffer, sizeof buffer, &length, &status, NULL);
 *
 * Every table starts with QueryInterface, AddRef and Release; every operation is
 * TB_STDCALL and receives the interface pointer first. Identifiers are TB_IID_<name>,
 * pointers to constant GUIDs (compound literals), compared with tb_iid_equal. The
 * rules that the C++ headers (tunebay.h) document apply unchanged: who owns what, null
 * arguments, threads. C99 or later; C++ code includes tunebay.h instead. */
#ifndef TUNEBAY_TUNEBAY_C_H
#define TUNEBAY_TUNEBAY_C_H

#include <stdbool.h>
#include <stdint.h>
#include <unknwn.h>

#include "version.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TB_STDCALL __stdcall
#define TB_CDECL __cdecl
/** Exports a plug-in entry point under its plain name. */
#define TB_C_EXPORT __declspec(dllexport)

/** A pointer to a constant identifier, from its numbers. */
#define TB_GUID(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  (&(const GUID){l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}})
#define TB_IID_IUnknown TB_GUID(0x00000000, 0x0000, 0x0000, 0xC0, 0, 0, 0, 0, 0, 0, 0x46)

/** Whether two identifiers are equal (16 bytes compared). */
static inline bool tb_iid_equal(const GUID* a, const GUID* b) {
  const unsigned char* x = (const unsigned char*)a;
  const unsigned char* y = (const unsigned char*)b;
  unsigned i;
  for (i = 0; i < sizeof(GUID); ++i) {
    if (x[i] != y[i]) return false;
  }
  return true;
}

/** An audio format; see types.h. */
typedef struct tb_AudioFormat {
  int32_t sampleRate;
  int32_t bitsPerSample;
  int32_t channels;
} tb_AudioFormat;

/* Component kinds (IComponent GetKind), feature and capability bits, verdicts. */
#define TB_KIND_COLLECTION 2
#define TB_KIND_DECODER 3
#define TB_KIND_ENCODER 4
#define TB_KIND_CONVERTOR 5
#define TB_KIND_DOWNLOADER 6
#define TB_OPEN_WITH_PROXY 0x1000u
#define TB_CAPABILITY_OPENS_SOURCES 1u
#define TB_VERDICT_FINAL 1

/* Result codes carried by error objects (IError GetCode); see types.h. */
#define TB_RESULT_FAILURE 0x80000000u
#define TB_RESULT_INVALID_PARAMETER 0x80000001u
#define TB_RESULT_BAD_PATH_NAME 0x80000003u
#define TB_RESULT_FILE_INVALID 0x80000004u
#define TB_RESULT_CALL_NOT_IMPLEMENTED 0x80000005u
#define TB_RESULT_END_OF_FILE 0x80000006u
#define TB_RESULT_OPEN_FAILED 0x80000007u
#define TB_RESULT_READ_FAULT 0x80000011u
#define TB_RESULT_FILE_NOT_FOUND 0x80000014u

/* Entry point names and types of a plug-in library and of the library's export. */
#define TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT "ORVA_PLUGIN_GetPrimaryAudioObject"
#define TB_ENTRY_READY_TO_FINISH "ORVA_PLUGIN_ReadyToFinish"
#define TB_EXPORT_GET_TUNEBAY "GetTunebay"

typedef struct tb_IUnknown tb_IUnknown;
typedef struct tb_IComponent tb_IComponent;
typedef struct tb_IComponentCollection tb_IComponentCollection;
typedef struct tb_IExtensionList tb_IExtensionList;
typedef struct tb_IError tb_IError;
typedef struct tb_ISourceControl tb_ISourceControl;
typedef struct tb_ISourceData tb_ISourceData;
typedef struct tb_ISourcePosition tb_ISourcePosition;
typedef struct tb_ILifetime tb_ILifetime;
typedef struct tb_IManager tb_IManager;
typedef struct tb_ISourceOpener tb_ISourceOpener;

typedef bool(TB_CDECL* tb_GetPrimaryAudioObjectFn)(tb_IComponent** out);
typedef bool(TB_CDECL* tb_ReadyToFinishFn)(void);
typedef bool(TB_CDECL* tb_GetTunebayFn)(tb_IManager** manager);

/* IUnknown */
typedef struct tb_IUnknownVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IUnknown* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IUnknown* self);
  ULONG(TB_STDCALL* Release)(tb_IUnknown* self);
} tb_IUnknownVtbl;
struct tb_IUnknown {
  const tb_IUnknownVtbl* lpVtbl;
};
#define tb_IUnknown_QueryInterface(self, iid, out) ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_IUnknown_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_IUnknown_Release(self) ((self)->lpVtbl->Release(self))

/* IComponent */
typedef struct tb_IComponentVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IComponent* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IComponent* self);
  ULONG(TB_STDCALL* Release)(tb_IComponent* self);
  const char*(TB_STDCALL* GetName)(tb_IComponent* self);
  int32_t(TB_STDCALL* GetKind)(tb_IComponent* self);
  bool(TB_STDCALL* Setup)(tb_IComponent* self, tb_IManager* manager, tb_IError** error);
  void(TB_STDCALL* Shutdown)(tb_IComponent* self);
} tb_IComponentVtbl;
struct tb_IComponent {
  const tb_IComponentVtbl* lpVtbl;
};
#define tb_IComponent_QueryInterface(self, iid, out) \
  ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_IComponent_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_IComponent_Release(self) ((self)->lpVtbl->Release(self))
#define tb_IComponent_GetName(self) ((self)->lpVtbl->GetName(self))
#define tb_IComponent_GetKind(self) ((self)->lpVtbl->GetKind(self))
#define tb_IComponent_Setup(self, manager, error) ((self)->lpVtbl->Setup(self, manager, error))
#define tb_IComponent_Shutdown(self) ((self)->lpVtbl->Shutdown(self))

/* IComponentCollection */
typedef struct tb_IComponentCollectionVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IComponentCollection* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IComponentCollection* self);
  ULONG(TB_STDCALL* Release)(tb_IComponentCollection* self);
  int32_t(TB_STDCALL* GetCount)(tb_IComponentCollection* self);
  bool(TB_STDCALL* GetItem)(tb_IComponentCollection* self, int32_t index, tb_IComponent** item);
} tb_IComponentCollectionVtbl;
struct tb_IComponentCollection {
  const tb_IComponentCollectionVtbl* lpVtbl;
};
#define TB_IID_IComponentCollection \
  TB_GUID(0xFC2E77B1, 0x6278, 0x452B, 0x97, 0x56, 0x7A, 0xC2, 0x4E, 0x80, 0x77, 0x78)
#define tb_IComponentCollection_QueryInterface(self, iid, out) \
  ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_IComponentCollection_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_IComponentCollection_Release(self) ((self)->lpVtbl->Release(self))
#define tb_IComponentCollection_GetCount(self) ((self)->lpVtbl->GetCount(self))
#define tb_IComponentCollection_GetItem(self, index, item) \
  ((self)->lpVtbl->GetItem(self, index, item))

/* IExtensionList */
typedef struct tb_IExtensionListVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IExtensionList* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IExtensionList* self);
  ULONG(TB_STDCALL* Release)(tb_IExtensionList* self);
  int32_t(TB_STDCALL* GetCount)(tb_IExtensionList* self);
  const char*(TB_STDCALL* GetExtension)(tb_IExtensionList* self, int32_t index);
} tb_IExtensionListVtbl;
struct tb_IExtensionList {
  const tb_IExtensionListVtbl* lpVtbl;
};
#define TB_IID_IExtensionList \
  TB_GUID(0x243C1749, 0x490A, 0x492E, 0x8F, 0x84, 0x01, 0xC3, 0x02, 0xD1, 0x25, 0x2D)
#define tb_IExtensionList_QueryInterface(self, iid, out) \
  ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_IExtensionList_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_IExtensionList_Release(self) ((self)->lpVtbl->Release(self))
#define tb_IExtensionList_GetCount(self) ((self)->lpVtbl->GetCount(self))
#define tb_IExtensionList_GetExtension(self, index) ((self)->lpVtbl->GetExtension(self, index))

/* IError */
typedef struct tb_IErrorVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IError* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IError* self);
  ULONG(TB_STDCALL* Release)(tb_IError* self);
  const char*(TB_STDCALL* GetMessage)(tb_IError* self);
  uint32_t(TB_STDCALL* GetCode)(tb_IError* self);
  uint32_t(TB_STDCALL* GetSystemError)(tb_IError* self);
} tb_IErrorVtbl;
struct tb_IError {
  const tb_IErrorVtbl* lpVtbl;
};
#define TB_IID_IError \
  TB_GUID(0xC6D81A4A, 0xA3CB, 0x4D32, 0x9B, 0xB9, 0xB3, 0x70, 0xBC, 0x4E, 0xDE, 0x6C)
#define tb_IError_QueryInterface(self, iid, out) ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_IError_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_IError_Release(self) ((self)->lpVtbl->Release(self))
#define tb_IError_GetMessage(self) ((self)->lpVtbl->GetMessage(self))
#define tb_IError_GetCode(self) ((self)->lpVtbl->GetCode(self))
#define tb_IError_GetSystemError(self) ((self)->lpVtbl->GetSystemError(self))

/* ISourceControl */
typedef struct tb_ISourceControlVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_ISourceControl* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_ISourceControl* self);
  ULONG(TB_STDCALL* Release)(tb_ISourceControl* self);
  bool(TB_STDCALL* Start)(tb_ISourceControl* self, int32_t argument);
  bool(TB_STDCALL* Stop)(tb_ISourceControl* self, int32_t argument);
  uint32_t(TB_STDCALL* GetState)(tb_ISourceControl* self);
} tb_ISourceControlVtbl;
struct tb_ISourceControl {
  const tb_ISourceControlVtbl* lpVtbl;
};
#define TB_IID_ISourceControl \
  TB_GUID(0xB388F5E3, 0x94B2, 0x40FF, 0xBC, 0xE9, 0x0A, 0xC8, 0xDB, 0xF5, 0x51, 0xCB)
#define tb_ISourceControl_QueryInterface(self, iid, out) \
  ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_ISourceControl_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_ISourceControl_Release(self) ((self)->lpVtbl->Release(self))
#define tb_ISourceControl_Start(self, argument) ((self)->lpVtbl->Start(self, argument))
#define tb_ISourceControl_Stop(self, argument) ((self)->lpVtbl->Stop(self, argument))
#define tb_ISourceControl_GetState(self) ((self)->lpVtbl->GetState(self))

/* ISourceData */
typedef struct tb_ISourceDataVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_ISourceData* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_ISourceData* self);
  ULONG(TB_STDCALL* Release)(tb_ISourceData* self);
  const tb_AudioFormat*(TB_STDCALL* GetFormat)(tb_ISourceData* self, tb_AudioFormat* scratch);
  bool(TB_STDCALL* Read)(tb_ISourceData* self, void* buffer, uint32_t size, uint32_t* length,
                         int32_t* status, tb_IError** error);
  uint64_t(TB_STDCALL* GetDataSize)(tb_ISourceData* self);
} tb_ISourceDataVtbl;
struct tb_ISourceData {
  const tb_ISourceDataVtbl* lpVtbl;
};
#define TB_IID_ISourceData \
  TB_GUID(0x3F1BCD1C, 0x90E7, 0x467B, 0x9F, 0x75, 0xE8, 0xD8, 0xE5, 0xD6, 0x1B, 0xDA)
#define tb_ISourceData_QueryInterface(self, iid, out) \
  ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_ISourceData_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_ISourceData_Release(self) ((self)->lpVtbl->Release(self))
#define tb_ISourceData_GetFormat(self, scratch) ((self)->lpVtbl->GetFormat(self, scratch))
#define tb_ISourceData_Read(self, buffer, size, length, status, error) \
  ((self)->lpVtbl->Read(self, buffer, size, length, status, error))
#define tb_ISourceData_GetDataSize(self) ((self)->lpVtbl->GetDataSize(self))

/* ISourcePosition */
typedef struct tb_ISourcePositionVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_ISourcePosition* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_ISourcePosition* self);
  ULONG(TB_STDCALL* Release)(tb_ISourcePosition* self);
  uint64_t(TB_STDCALL* GetPosition)(tb_ISourcePosition* self);
  uint64_t(TB_STDCALL* GetBlockAlign)(tb_ISourcePosition* self);
  uint64_t(TB_STDCALL* GetLength)(tb_ISourcePosition* self);
} tb_ISourcePositionVtbl;
struct tb_ISourcePosition {
  const tb_ISourcePositionVtbl* lpVtbl;
};
#define TB_IID_ISourcePosition \
  TB_GUID(0xC29CD009, 0x7187, 0x498F, 0x8F, 0x07, 0x30, 0xE2, 0x2F, 0xEE, 0x39, 0x2B)
#define tb_ISourcePosition_QueryInterface(self, iid, out) \
  ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_ISourcePosition_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_ISourcePosition_Release(self) ((self)->lpVtbl->Release(self))
#define tb_ISourcePosition_GetPosition(self) ((self)->lpVtbl->GetPosition(self))
#define tb_ISourcePosition_GetBlockAlign(self) ((self)->lpVtbl->GetBlockAlign(self))
#define tb_ISourcePosition_GetLength(self) ((self)->lpVtbl->GetLength(self))

/* ILifetime */
typedef struct tb_ILifetimeVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_ILifetime* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_ILifetime* self);
  ULONG(TB_STDCALL* Release)(tb_ILifetime* self);
  bool(TB_STDCALL* Attach)(tb_ILifetime* self, tb_IUnknown* outer);
  bool(TB_STDCALL* Detach)(tb_ILifetime* self);
  HRESULT(TB_STDCALL* InnerQueryInterface)(tb_ILifetime* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* InnerAddRef)(tb_ILifetime* self);
  ULONG(TB_STDCALL* InnerRelease)(tb_ILifetime* self);
} tb_ILifetimeVtbl;
struct tb_ILifetime {
  const tb_ILifetimeVtbl* lpVtbl;
};
#define TB_IID_ILifetime \
  TB_GUID(0xBD8395AF, 0x39ED, 0x4DDC, 0x95, 0xCF, 0x5D, 0xFF, 0x46, 0x20, 0xE2, 0x79)
#define tb_ILifetime_QueryInterface(self, iid, out) ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_ILifetime_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_ILifetime_Release(self) ((self)->lpVtbl->Release(self))
#define tb_ILifetime_Attach(self, outer) ((self)->lpVtbl->Attach(self, outer))
#define tb_ILifetime_Detach(self) ((self)->lpVtbl->Detach(self))
#define tb_ILifetime_InnerQueryInterface(self, iid, out) \
  ((self)->lpVtbl->InnerQueryInterface(self, iid, out))
#define tb_ILifetime_InnerAddRef(self) ((self)->lpVtbl->InnerAddRef(self))
#define tb_ILifetime_InnerRelease(self) ((self)->lpVtbl->InnerRelease(self))

/* IManager */
typedef struct tb_IManagerVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IManager* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IManager* self);
  ULONG(TB_STDCALL* Release)(tb_IManager* self);
  bool(TB_STDCALL* SetPluginFolder)(tb_IManager* self, const char* folder);
  bool(TB_STDCALL* Initialise)(tb_IManager* self);
  bool(TB_STDCALL* IsReadyToFinish)(tb_IManager* self);
  bool(TB_STDCALL* Finish)(tb_IManager* self);
  bool(TB_STDCALL* SetConvertor)(tb_IManager* self, tb_IUnknown* convertor, tb_IError** error);
  bool(TB_STDCALL* GetConvertor)(tb_IManager* self, tb_IUnknown** convertor);
  bool(TB_STDCALL* Reserved)(tb_IManager* self, void* pointer);
  bool(TB_STDCALL* Notify)(tb_IManager* self, int32_t code, void* parameter);
  bool(TB_STDCALL* AddListener)(tb_IManager* self, tb_IUnknown* listener);
  bool(TB_STDCALL* RemoveListener)(tb_IManager* self, tb_IUnknown* listener);
  bool(TB_STDCALL* OpenSource)(tb_IManager* self, const char* name, const tb_AudioFormat* format,
                               tb_IUnknown** source, int32_t pass, uint32_t requiredMask,
                               uint32_t excludedMask, tb_IError** error);
  bool(TB_STDCALL* CreateSink)(tb_IManager* self, void* creator, tb_IUnknown** sink,
                               const tb_AudioFormat* format, int32_t argument);
  bool(TB_STDCALL* RegisterService)(tb_IManager* self, const GUID* id, tb_IUnknown* object);
  bool(TB_STDCALL* UnregisterService)(tb_IManager* self, const GUID* id);
  bool(TB_STDCALL* LookupService)(tb_IManager* self, const GUID* id, tb_IUnknown** object);
  bool(TB_STDCALL* DescribeError)(tb_IManager* self, tb_IError* error, tb_IError** described);
} tb_IManagerVtbl;
struct tb_IManager {
  const tb_IManagerVtbl* lpVtbl;
};
#define tb_IManager_QueryInterface(self, iid, out) ((self)->lpVtbl->QueryInterface(self, iid, out))
#define tb_IManager_AddRef(self) ((self)->lpVtbl->AddRef(self))
#define tb_IManager_Release(self) ((self)->lpVtbl->Release(self))
#define tb_IManager_SetPluginFolder(self, folder) ((self)->lpVtbl->SetPluginFolder(self, folder))
#define tb_IManager_Initialise(self) ((self)->lpVtbl->Initialise(self))
#define tb_IManager_IsReadyToFinish(self) ((self)->lpVtbl->IsReadyToFinish(self))
#define tb_IManager_Finish(self) ((self)->lpVtbl->Finish(self))
#define tb_IManager_SetConvertor(self, convertor, error) \
  ((self)->lpVtbl->SetConvertor(self, convertor, error))
#define tb_IManager_GetConvertor(self, convertor) ((self)->lpVtbl->GetConvertor(self, convertor))
#define tb_IManager_Reserved(self, pointer) ((self)->lpVtbl->Reserved(self, pointer))
#define tb_IManager_Notify(self, code, parameter) ((self)->lpVtbl->Notify(self, code, parameter))
#define tb_IManager_AddListener(self, listener) ((self)->lpVtbl->AddListener(self, listener))
#define tb_IManager_RemoveListener(self, listener) ((self)->lpVtbl->RemoveListener(self, listener))
#define tb_IManager_OpenSource(self, name, format, source, pass, requiredMask, excludedMask, \
                               error)                                                        \
  ((self)->lpVtbl->OpenSource(self, name, format, source, pass, requiredMask, excludedMask, error))
#define tb_IManager_CreateSink(self, creator, sink, format, argument) \
  ((self)->lpVtbl->CreateSink(self, creator, sink, format, argument))
#define tb_IManager_RegisterService(self, id, object) \
  ((self)->lpVtbl->RegisterService(self, id, object))
#define tb_IManager_UnregisterService(self, id) ((self)->lpVtbl->UnregisterService(self, id))
#define tb_IManager_LookupService(self, id, object) \
  ((self)->lpVtbl->LookupService(self, id, object))
#define tb_IManager_DescribeError(self, error, described) \
  ((self)->lpVtbl->DescribeError(self, error, described))

/* ISourceOpener: two tables. The pointer that QueryInterface gives addresses `ops`
 * (GetFeatureMask, Open; no IUnknown); the word after it addresses `unknown`
 * (QueryInterface, AddRef, Release, GetCapabilities), through which the reference is
 * released. */
typedef struct tb_ISourceOpenerOpsVtbl {
  uint32_t(TB_STDCALL* GetFeatureMask)(tb_ISourceOpener* self);
  bool(TB_STDCALL* Open)(tb_ISourceOpener* self, const char* name, tb_IUnknown** source,
                         uint32_t requiredMask, uint32_t excludedMask, tb_IError** error);
} tb_ISourceOpenerOpsVtbl;
typedef struct tb_ISourceOpenerUnknownVtbl {
  HRESULT(TB_STDCALL* QueryInterface)(tb_IUnknown* self, REFIID iid, void** out);
  ULONG(TB_STDCALL* AddRef)(tb_IUnknown* self);
  ULONG(TB_STDCALL* Release)(tb_IUnknown* self);
  uint32_t(TB_STDCALL* GetCapabilities)(tb_IUnknown* self);
} tb_ISourceOpenerUnknownVtbl;
struct tb_ISourceOpener {
  const tb_ISourceOpenerOpsVtbl* ops;
  const tb_ISourceOpenerUnknownVtbl* unknown;
};
#define TB_IID_ISourceOpener \
  TB_GUID(0xC69677F6, 0x15F4, 0x4555, 0xB5, 0x5E, 0x4F, 0xF3, 0xE0, 0xEE, 0x84, 0x77)
/** The opener's IUnknown-shaped second table, as an interface pointer. */
#define tb_ISourceOpener_Unknown(self) ((tb_IUnknown*)&(self)->unknown)
#define tb_ISourceOpener_GetFeatureMask(self) ((self)->ops->GetFeatureMask(self))
#define tb_ISourceOpener_Open(self, name, source, requiredMask, excludedMask, error) \
  ((self)->ops->Open(self, name, source, requiredMask, excludedMask, error))
#define tb_ISourceOpener_Release(self) ((self)->unknown->Release(tb_ISourceOpener_Unknown(self)))

#ifdef __cplusplus
}
#endif

#endif /* TUNEBAY_TUNEBAY_C_H */
