// Tunebay SDK: source, sink and conversion interfaces.
//
// A decoder's ISourceOpener::Open produces a source object; an encoder produces sink
// objects. Both offer ISourceControl and ILifetime; sources add ISourceData and
// ISourcePosition (and optionally ISampleQuery, ITagInfo, ISourceSeek, IFileInfo),
// sinks add ISinkData. The library may wrap either in a proxy that converts between
// the host's format and the object's own through the manager's IConvertor.
//
// Threads: one source or sink is used by one thread at a time (the host serialises its
// calls, through the proxy or not); different objects may be used on different threads
// at once, so what they share (counts of live objects, caches) is guarded. Their
// AddRef and Release are [any-thread].
#ifndef TUNEBAY_SOURCE_H
#define TUNEBAY_SOURCE_H

#include "error.h"

namespace tb {

/// Starting and stopping a source or sink.
struct ISourceControl : public IUnknown {
  /// Prepares the object for reading or writing. Returns true on success. `argument`
  /// is the host's, passed through by the proxy. A fault inside Start or Stop called
  /// through a proxy is caught and counts as false.
  virtual bool TB_STDCALL Start(int32_t argument) = 0;
  /// Ends reading or writing; for a sink, completes what it writes. Returns true on
  /// success.
  virtual bool TB_STDCALL Stop(int32_t argument) = 0;
  /// The object's state; its meaning belongs to the plug-in. A proxy passes this
  /// operation through with the caller's arguments and result unchanged.
  virtual uint32_t TB_STDCALL GetState() = 0;
};

/// Reading a source's audio data.
struct ISourceData : public IUnknown {
  /// The source's format. The source may fill `scratch` and return it, or return a
  /// pointer to its own record (valid until the format changes). Never null.
  virtual const AudioFormat* TB_STDCALL GetFormat(AudioFormat* scratch) = 0;
  /// Reads up to `size` bytes into `buffer` and stores the bytes delivered in
  /// `*length`. `*status` is set to 0 before the read; its further meaning belongs to
  /// the source. On failure the error slot, when given, receives an error object.
  ///
  /// End of the data: Read returns true with `*length` 0, and keeps doing so. False
  /// always means a failure, never the end; hosts read until a true read delivers 0.
  virtual bool TB_STDCALL Read(void* buffer, uint32_t size, uint32_t* length, int32_t* status,
                               IError** error) = 0;
  /// The total data size in bytes (0 when unknown). A source answers in the low 32
  /// bits; the proxy answers the size in the host's format.
  virtual uint64_t TB_STDCALL GetDataSize() = 0;
};

/// Positions and lengths in sample frames.
struct ISourcePosition : public IUnknown {
  /// The read position in sample frames (0 at the start).
  virtual uint64_t TB_STDCALL GetPosition() = 0;
  /// The size of one sample frame in bytes (channels times bytes per sample).
  virtual uint64_t TB_STDCALL GetBlockAlign() = 0;
  /// The length in sample frames, 0 when unknown.
  virtual uint64_t TB_STDCALL GetLength() = 0;
};

/// Marked sample positions (cue points), optional.
struct ISampleQuery : public IUnknown {
  /// The number of marked positions.
  virtual int32_t TB_STDCALL QueryCount() = 0;
  /// The sample number of marked position `index`, -1 when none.
  virtual int32_t TB_STDCALL QuerySamplePosition(int32_t index) = 0;
};

/// Texts from the source's information block (tags), optional. Returned texts belong
/// to the object, valid until the next call of the same operation or its destruction;
/// null means none.
struct ITagInfo : public IUnknown {
  virtual const char* TB_STDCALL GetTitle() = 0;
  virtual const char* TB_STDCALL GetArtist() = 0;
  /// Slots 5 to 7: a proxy passes them through with the caller's arguments and the
  /// source's result unchanged.
  virtual const char* TB_STDCALL GetAlbum() = 0;
  virtual const char* TB_STDCALL GetGenre() = 0;
  virtual int32_t TB_STDCALL GetYear() = 0;
};

/// Seeking, optional.
struct ISourceSeek : public IUnknown {
  /// Moves the read position to `samplePosition` (sample frames). True on success;
  /// false, position unchanged, beyond the length. `argument` is the host's.
  virtual bool TB_STDCALL Seek(uint64_t samplePosition, int32_t argument) = 0;
};

/// Offered by the library's source proxy only: the wrapped source's own format.
struct IOriginalFormat : public IUnknown {
  /// Fills `out` with the source's own format and returns `out` (null for a null
  /// `out`).
  virtual AudioFormat* TB_STDCALL GetSourceFormat(AudioFormat* out) = 0;
};

/// The file behind a source, optional.
struct IFileInfo : public IUnknown {
  /// The file's size in bytes, 0 when unknown.
  virtual uint64_t TB_STDCALL GetFileSize() = 0;
  /// The file's path, or null. Owned by the object.
  virtual const char* TB_STDCALL GetFilePath() = 0;
};

/// Aggregation: lets a proxy share the source's or sink's reference count. This is
/// classic COM aggregation, with the proxy as the outer object.
///
/// The object keeps one reference count. Before Attach, QueryInterface, AddRef and
/// Release of every one of its interfaces act on that count. Attach hands the object
/// the proxy's primary interface, which it keeps without a reference; from then on
/// QueryInterface, AddRef and Release of every interface of the object, ILifetime's own
/// included, go to that outer object, and only InnerQueryInterface, InnerAddRef and
/// InnerRelease act on the object's count (they never forward). Detach forgets the outer
/// object; the library does not call it.
///
/// The proxy takes its references on the object through QueryInterface before it
/// attaches. Its AddRef and Release go to InnerAddRef and InnerRelease, and it destroys
/// itself, giving its references up, when InnerRelease reports that only its own
/// references remain. Because the object forwards, an interface that the host obtained
/// through the proxy (IFileInfo, say) and releases after the proxy still reaches the
/// proxy's Release, so the order of the host's releases does not matter. The delegating
/// Release may end the object before it returns: touch nothing of the object after it.
///
/// Objects written to the earlier rule, whose interfaces keep acting on their own count
/// after Attach, still work; their hosts must release such interfaces before the proxy.
struct ILifetime : public IUnknown {
  /// Attaches the outer object (not counted). True on success.
  virtual bool TB_STDCALL Attach(IUnknown* outer) = 0;
  /// Detaches the outer object. Not used by the library.
  virtual bool TB_STDCALL Detach() = 0;
  /// QueryInterface on the object itself, bypassing the outer object.
  virtual HRESULT TB_STDCALL InnerQueryInterface(REFIID iid, void** out) = 0;
  /// AddRef on the object's own count; returns the count after the change.
  virtual ULONG TB_STDCALL InnerAddRef() = 0;
  /// Release on the object's own count; returns the count after the change.
  virtual ULONG TB_STDCALL InnerRelease() = 0;
};

/// One conversion between two formats, made by IConvertor::CreateConversion.
struct IConversion : public IUnknown {
  /// Converts `length` bytes of `data` (read during the call); the result is available
  /// through the next two operations until the next Convert. `reserved` is 0. False
  /// on failure (the previous result is then gone).
  virtual bool TB_STDCALL Convert(const void* data, uint32_t length, int32_t reserved) = 0;
  /// The size in bytes of the last converted block.
  virtual int32_t TB_STDCALL GetOutputSize() = 0;
  /// The last converted block; owned by the conversion, valid until the next Convert
  /// or its destruction. Null before the first.
  virtual void* TB_STDCALL GetOutputData() = 0;
};

/// Offered by convertor components (kind 5).
struct IConvertor : public IUnknown {
  /// Whether a conversion from `from` to `to` can be made; false for a null format.
  /// [any-thread]
  virtual bool TB_STDCALL CanConvert(const AudioFormat* from, const AudioFormat* to) = 0;
  /// Makes a conversion; `*conversion` receives it with one reference. A conversion is
  /// an object of its own: used by one thread at a time, and alive (so holding the
  /// convertor's library) until released. False, nothing stored, when it cannot.
  virtual bool TB_STDCALL CreateConversion(const AudioFormat* from, const AudioFormat* to,
                                           IConversion** conversion, int32_t argument) = 0;
};

/// Values of IConvertorSetup::Prepare.
///
/// kPrepareConversion is what the sink proxy passes before each conversion; it changes
/// no setting. The other two are an extension of the bundled PCM convertor, which a host
/// passes to the manager's convertor (IManager::GetConvertor) to choose whether the
/// conversions it makes from then on dither when they reduce the bits per sample (on
/// until told otherwise); the choice holds for every proxy. Other convertors need not
/// know them; the PCM convertor answers false to any value it does not know.
const int32_t kPrepareConversion = 1;
const int32_t kPrepareDitherOff = 0x100;
const int32_t kPrepareDitherOn = 0x101;

/// Optional on convertors: asked by the sink proxy before it creates a conversion.
struct IConvertorSetup : public IUnknown {
  /// Prepares the convertor for what `value` names (kPrepareConversion and the others
  /// above); true when the convertor understood it.
  virtual bool TB_STDCALL Prepare(int32_t value) = 0;
};

/// Writing audio data into a sink.
struct ISinkData : public IUnknown {
  /// Writes `length` bytes of whole frames in the sink's format (read during the call).
  /// On failure the error slot, when given, receives an error.
  virtual bool TB_STDCALL Write(const void* data, uint32_t length, int32_t argument,
                                IError** error) = 0;
  /// Fills `out` with the sink's format and returns a pointer to the sink's format
  /// (usually `out`).
  virtual AudioFormat* TB_STDCALL GetFormat(AudioFormat* out) = 0;
};

}  // namespace tb

TB_DECLARE_IID(ISourceControl, "B388F5E3-94B2-40FF-BCE9-0AC8DBF551CB", 0xB388F5E3, 0x94B2, 0x40FF,
               0xBC, 0xE9, 0x0A, 0xC8, 0xDB, 0xF5, 0x51, 0xCB)
TB_DECLARE_IID(ISourceData, "3F1BCD1C-90E7-467B-9F75-E8D8E5D61BDA", 0x3F1BCD1C, 0x90E7, 0x467B,
               0x9F, 0x75, 0xE8, 0xD8, 0xE5, 0xD6, 0x1B, 0xDA)
TB_DECLARE_IID(ISourcePosition, "C29CD009-7187-498F-8F07-30E22FEE392B", 0xC29CD009, 0x7187, 0x498F,
               0x8F, 0x07, 0x30, 0xE2, 0x2F, 0xEE, 0x39, 0x2B)
TB_DECLARE_IID(ISampleQuery, "8F35FB99-2152-4606-9951-81B738E0AED9", 0x8F35FB99, 0x2152, 0x4606,
               0x99, 0x51, 0x81, 0xB7, 0x38, 0xE0, 0xAE, 0xD9)
TB_DECLARE_IID(ITagInfo, "D5741427-89F9-409B-9349-5B82E520571F", 0xD5741427, 0x89F9, 0x409B, 0x93,
               0x49, 0x5B, 0x82, 0xE5, 0x20, 0x57, 0x1F)
TB_DECLARE_IID(ISourceSeek, "BEC79707-7BAC-415B-9F90-48F9D875B40C", 0xBEC79707, 0x7BAC, 0x415B,
               0x9F, 0x90, 0x48, 0xF9, 0xD8, 0x75, 0xB4, 0x0C)
TB_DECLARE_IID(IOriginalFormat, "5D2EC9F0-4F4F-4507-A0D6-23D122BB7C30", 0x5D2EC9F0, 0x4F4F, 0x4507,
               0xA0, 0xD6, 0x23, 0xD1, 0x22, 0xBB, 0x7C, 0x30)
TB_DECLARE_IID(IFileInfo, "FA6A3CF1-E837-42C2-ADDC-8B5044D6848E", 0xFA6A3CF1, 0xE837, 0x42C2, 0xAD,
               0xDC, 0x8B, 0x50, 0x44, 0xD6, 0x84, 0x8E)
TB_DECLARE_IID(ILifetime, "BD8395AF-39ED-4DDC-95CF-5DFF4620E279", 0xBD8395AF, 0x39ED, 0x4DDC, 0x95,
               0xCF, 0x5D, 0xFF, 0x46, 0x20, 0xE2, 0x79)
TB_DECLARE_IID(IConvertor, "AB16A32C-F6B0-4C31-9893-36942D660571", 0xAB16A32C, 0xF6B0, 0x4C31, 0x98,
               0x93, 0x36, 0x94, 0x2D, 0x66, 0x05, 0x71)
TB_DECLARE_IID(IConvertorSetup, "E4BCA11F-3166-48A4-9FDA-FB4895C93C0F", 0xE4BCA11F, 0x3166, 0x48A4,
               0x9F, 0xDA, 0xFB, 0x48, 0x95, 0xC9, 0x3C, 0x0F)
TB_DECLARE_IID(ISinkData, "B011FB4D-3A88-4A32-BCD6-DBF0DDBFCFC0", 0xB011FB4D, 0x3A88, 0x4A32, 0xBC,
               0xD6, 0xDB, 0xF0, 0xDD, 0xBF, 0xCF, 0xC0)

#endif  // TUNEBAY_SOURCE_H
