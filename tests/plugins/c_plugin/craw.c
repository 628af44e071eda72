/* zqcraw.dll: a decoder in C. A ".craw" file is raw audio, 8000 Hz, 8-bit, mono, with
 * no header; the source reads it from disk. One component (IComponent, IExtensionList
 * and the two-table ISourceOpener on one count); sources offer ISourceControl,
 * ISourceData, ISourcePosition and ILifetime on one count of their own, which they do
 * not hand to the proxy that attaches to them. */
#include <windows.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <tunebay/tunebay_c.h>

/* The object that contains interface `field` at `p`. */
#define OUTER(type, field, p) ((type*)((char*)(p)-offsetof(type, field)))

/* References beyond the catalogue's one on the component, and living sources: the
 * library may be unloaded at 0. */
static volatile LONG g_holds = 0;

/* ---- the source ---- */

typedef struct Source {
  const tb_ISourceControlVtbl* control;
  const tb_ISourceDataVtbl* data;
  const tb_ISourcePositionVtbl* position;
  const tb_ILifetimeVtbl* lifetime;
  volatile LONG refs;
  FILE* file;
  uint32_t size;
  uint32_t position_bytes;
} Source;

static const tb_AudioFormat kFormat = {8000, 8, 1};

static HRESULT SourceQuery(Source* s, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = NULL;
  if (tb_iid_equal(iid, TB_IID_IUnknown) || tb_iid_equal(iid, TB_IID_ISourceControl)) {
    *out = &s->control;
  } else if (tb_iid_equal(iid, TB_IID_ISourceData)) {
    *out = &s->data;
  } else if (tb_iid_equal(iid, TB_IID_ISourcePosition)) {
    *out = &s->position;
  } else if (tb_iid_equal(iid, TB_IID_ILifetime)) {
    *out = &s->lifetime;
  } else {
    return E_NOINTERFACE;
  }
  InterlockedIncrement(&s->refs);
  return S_OK;
}

static ULONG SourceAddRef(Source* s) { return (ULONG)InterlockedIncrement(&s->refs); }

static ULONG SourceRelease(Source* s) {
  LONG left = InterlockedDecrement(&s->refs);
  if (left == 0) {
    fclose(s->file);
    free(s);
    InterlockedDecrement(&g_holds);
  }
  return (ULONG)left;
}

/* Each table's IUnknown slots go to the one count. */
#define SOURCE_UNKNOWN(Iface, field)                                                 \
  static HRESULT TB_STDCALL Iface##Query(tb_##Iface* self, REFIID iid, void** out) { \
    return SourceQuery(OUTER(Source, field, self), iid, out);                        \
  }                                                                                  \
  static ULONG TB_STDCALL Iface##AddRef(tb_##Iface* self) {                          \
    return SourceAddRef(OUTER(Source, field, self));                                 \
  }                                                                                  \
  static ULONG TB_STDCALL Iface##Release(tb_##Iface* self) {                         \
    return SourceRelease(OUTER(Source, field, self));                                \
  }
SOURCE_UNKNOWN(ISourceControl, control)
SOURCE_UNKNOWN(ISourceData, data)
SOURCE_UNKNOWN(ISourcePosition, position)
SOURCE_UNKNOWN(ILifetime, lifetime)

static bool TB_STDCALL Start(tb_ISourceControl* self, int32_t argument) {
  Source* s = OUTER(Source, control, self);
  (void)argument;
  s->position_bytes = 0;
  return fseek(s->file, 0, SEEK_SET) == 0;
}
static bool TB_STDCALL Stop(tb_ISourceControl* self, int32_t argument) {
  (void)self, (void)argument;
  return true;
}
static uint32_t TB_STDCALL GetState(tb_ISourceControl* self) {
  (void)self;
  return 0;
}

static const tb_AudioFormat* TB_STDCALL GetFormat(tb_ISourceData* self, tb_AudioFormat* scratch) {
  (void)self;
  if (scratch) *scratch = kFormat;
  return scratch ? scratch : &kFormat;
}
/* The end of the data is a successful read that delivers 0 bytes. */
static bool TB_STDCALL Read(tb_ISourceData* self, void* buffer, uint32_t size, uint32_t* length,
                            int32_t* status, tb_IError** error) {
  Source* s = OUTER(Source, data, self);
  size_t got;
  (void)error;
  if (status) *status = 0;
  if (!length || (!buffer && size > 0)) return false;
  got = fread(buffer, 1, size, s->file);
  if (got < size && ferror(s->file)) return false;
  s->position_bytes += (uint32_t)got;
  *length = (uint32_t)got;
  return true;
}
static uint64_t TB_STDCALL GetDataSize(tb_ISourceData* self) {
  return OUTER(Source, data, self)->size;
}

static uint64_t TB_STDCALL GetPosition(tb_ISourcePosition* self) {
  return OUTER(Source, position, self)->position_bytes;
}
static uint64_t TB_STDCALL GetBlockAlign(tb_ISourcePosition* self) {
  (void)self;
  return 1;
}
static uint64_t TB_STDCALL GetLength(tb_ISourcePosition* self) {
  return OUTER(Source, position, self)->size;
}

/* Attach keeps nothing: this source does not forward to the proxy, which then relies on
 * the host releasing the interfaces it got through the proxy before the proxy. */
static bool TB_STDCALL Attach(tb_ILifetime* self, tb_IUnknown* outer) {
  (void)self;
  return outer != NULL;
}
static bool TB_STDCALL Detach(tb_ILifetime* self) {
  (void)self;
  return true;
}
static HRESULT TB_STDCALL InnerQuery(tb_ILifetime* self, REFIID iid, void** out) {
  return SourceQuery(OUTER(Source, lifetime, self), iid, out);
}
static ULONG TB_STDCALL InnerAddRef(tb_ILifetime* self) {
  return SourceAddRef(OUTER(Source, lifetime, self));
}
static ULONG TB_STDCALL InnerRelease(tb_ILifetime* self) {
  return SourceRelease(OUTER(Source, lifetime, self));
}

static const tb_ISourceControlVtbl kControlTable = {
    ISourceControlQuery, ISourceControlAddRef, ISourceControlRelease, Start, Stop, GetState};
static const tb_ISourceDataVtbl kDataTable = {
    ISourceDataQuery, ISourceDataAddRef, ISourceDataRelease, GetFormat, Read, GetDataSize};
static const tb_ISourcePositionVtbl kPositionTable = {ISourcePositionQuery,   ISourcePositionAddRef,
                                                      ISourcePositionRelease, GetPosition,
                                                      GetBlockAlign,          GetLength};
static const tb_ILifetimeVtbl kLifetimeTable = {ILifetimeQuery, ILifetimeAddRef, ILifetimeRelease,
                                                Attach,         Detach,          InnerQuery,
                                                InnerAddRef,    InnerRelease};

/* ---- the component ---- */

typedef struct Decoder {
  const tb_IComponentVtbl* component;
  const tb_IExtensionListVtbl* extensions;
  tb_ISourceOpener opener; /* two table pointers, one after the other */
  volatile LONG refs;
} Decoder;

static HRESULT DecoderQuery(Decoder* d, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = NULL;
  if (tb_iid_equal(iid, TB_IID_IUnknown)) {
    *out = &d->component;
  } else if (tb_iid_equal(iid, TB_IID_IExtensionList)) {
    *out = &d->extensions;
  } else if (tb_iid_equal(iid, TB_IID_ISourceOpener)) {
    *out = &d->opener;
  } else {
    return E_NOINTERFACE;
  }
  InterlockedIncrement(&d->refs);
  InterlockedIncrement(&g_holds);
  return S_OK;
}
/* The first reference is the catalogue's; every further one holds the library. */
static ULONG DecoderAddRef(Decoder* d) {
  InterlockedIncrement(&g_holds);
  return (ULONG)InterlockedIncrement(&d->refs);
}
static ULONG DecoderRelease(Decoder* d) {
  LONG left = InterlockedDecrement(&d->refs);
  if (left == 0) {
    free(d);
  } else {
    InterlockedDecrement(&g_holds);
  }
  return (ULONG)left;
}

static HRESULT TB_STDCALL ComponentQuery(tb_IComponent* self, REFIID iid, void** out) {
  return DecoderQuery(OUTER(Decoder, component, self), iid, out);
}
static ULONG TB_STDCALL ComponentAddRef(tb_IComponent* self) {
  return DecoderAddRef(OUTER(Decoder, component, self));
}
static ULONG TB_STDCALL ComponentRelease(tb_IComponent* self) {
  return DecoderRelease(OUTER(Decoder, component, self));
}
static const char* TB_STDCALL GetName(tb_IComponent* self) {
  (void)self;
  return "Raw audio decoder in C";
}
static int32_t TB_STDCALL GetKind(tb_IComponent* self) {
  (void)self;
  return TB_KIND_DECODER;
}
static bool TB_STDCALL Setup(tb_IComponent* self, tb_IManager* manager, tb_IError** error) {
  (void)self, (void)error;
  return manager != NULL;
}
static void TB_STDCALL Shutdown(tb_IComponent* self) { (void)self; }

static HRESULT TB_STDCALL ListQuery(tb_IExtensionList* self, REFIID iid, void** out) {
  return DecoderQuery(OUTER(Decoder, extensions, self), iid, out);
}
static ULONG TB_STDCALL ListAddRef(tb_IExtensionList* self) {
  return DecoderAddRef(OUTER(Decoder, extensions, self));
}
static ULONG TB_STDCALL ListRelease(tb_IExtensionList* self) {
  return DecoderRelease(OUTER(Decoder, extensions, self));
}
static int32_t TB_STDCALL GetCount(tb_IExtensionList* self) {
  (void)self;
  return 1;
}
static const char* TB_STDCALL GetExtension(tb_IExtensionList* self, int32_t index) {
  (void)self;
  return index == 0 ? "craw" : NULL;
}

static uint32_t TB_STDCALL GetFeatureMask(tb_ISourceOpener* self) {
  (void)self;
  return TB_OPEN_WITH_PROXY;
}
static bool TB_STDCALL Open(tb_ISourceOpener* self, const char* name, tb_IUnknown** source,
                            uint32_t requiredMask, uint32_t excludedMask, tb_IError** error) {
  Source* s;
  FILE* file;
  long size;
  (void)self, (void)requiredMask, (void)excludedMask, (void)error;
  if (!source) return false;
  *source = NULL;
  if (!name) return false;
  file = fopen(name, "rb");
  if (!file) return false;
  if (fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0 || fseek(file, 0, SEEK_SET) != 0 ||
      !(s = (Source*)calloc(1, sizeof(Source)))) {
    fclose(file);
    return false;
  }
  s->control = &kControlTable;
  s->data = &kDataTable;
  s->position = &kPositionTable;
  s->lifetime = &kLifetimeTable;
  s->refs = 1;
  s->file = file;
  s->size = (uint32_t)size;
  InterlockedIncrement(&g_holds);
  *source = (tb_IUnknown*)&s->control;
  return true;
}

static Decoder* OpenerOwner(tb_IUnknown* unknown) {
  return OUTER(Decoder, opener.unknown, unknown);
}
static HRESULT TB_STDCALL OpenerQuery(tb_IUnknown* self, REFIID iid, void** out) {
  return DecoderQuery(OpenerOwner(self), iid, out);
}
static ULONG TB_STDCALL OpenerAddRef(tb_IUnknown* self) { return DecoderAddRef(OpenerOwner(self)); }
static ULONG TB_STDCALL OpenerRelease(tb_IUnknown* self) {
  return DecoderRelease(OpenerOwner(self));
}
static uint32_t TB_STDCALL GetCapabilities(tb_IUnknown* self) {
  (void)self;
  return TB_CAPABILITY_OPENS_SOURCES;
}

static const tb_IComponentVtbl kComponentTable = {
    ComponentQuery, ComponentAddRef, ComponentRelease, GetName, GetKind, Setup, Shutdown};
static const tb_IExtensionListVtbl kListTable = {ListQuery, ListAddRef, ListRelease, GetCount,
                                                 GetExtension};
static const tb_ISourceOpenerOpsVtbl kOpenerOps = {GetFeatureMask, Open};
static const tb_ISourceOpenerUnknownVtbl kOpenerUnknown = {OpenerQuery, OpenerAddRef, OpenerRelease,
                                                           GetCapabilities};

/* ---- the entry points ---- */

TB_C_EXPORT bool TB_CDECL ORVA_PLUGIN_GetPrimaryAudioObject(tb_IComponent** out) {
  Decoder* d;
  if (!out) return false;
  d = (Decoder*)calloc(1, sizeof(Decoder));
  *out = NULL;
  if (!d) return false;
  d->component = &kComponentTable;
  d->extensions = &kListTable;
  d->opener.ops = &kOpenerOps;
  d->opener.unknown = &kOpenerUnknown;
  d->refs = 1;
  *out = (tb_IComponent*)&d->component;
  return true;
}

TB_C_EXPORT bool TB_CDECL ORVA_PLUGIN_ReadyToFinish(void) { return g_holds == 0; }
