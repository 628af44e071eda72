// Tunebay SDK: asking an encoder for a sink that writes a file.
//
// An encoder component (kind kKindEncoder) makes sink objects: objects that offer
// ISourceControl, ISinkData and ILifetime and turn the audio data written into them
// into a file. The manager's CreateSink only wraps a sink that the host's ISinkCreator
// hands it; ISinkFactory is how that creator gets one from an encoder without knowing
// the encoder's own classes. A typical creator keeps the encoder's ISinkFactory and a
// path, and its CreateSinkObject is
//
//   return factory->CreateFileSink(path, format, sink, nullptr);
//
// after which IManager::CreateSink wraps the sink in its proxy, which converts the
// host's data into the sink's own format when the two differ.
#ifndef TUNEBAY_ENCODER_H
#define TUNEBAY_ENCODER_H

#include "source.h"

namespace tb {

/// Offered by encoder components (kind kKindEncoder) that write files.
struct ISinkFactory : public IUnknown {
  /// Makes a sink that writes the file `path` (8-bit text in the system code page, a
  /// full path) from audio data in `*format`.
  ///
  /// On success `*sink` receives the sink object with one reference, which the caller
  /// owns; the caller queries it for ISourceControl, ISinkData and ILifetime (or hands
  /// it to IManager::CreateSink through its ISinkCreator). The file exists from this
  /// call on, empty or with a provisional header, and an existing file of that name is
  /// replaced. It is complete once the sink's Stop has returned true; a sink released
  /// without a successful Stop leaves an incomplete file, which the caller deletes.
  ///
  /// The sink's own format (ISinkData::GetFormat) is `*format` when the encoder can
  /// write it and otherwise the nearest format the encoder can write; the encoder does
  /// not convert, so a host that does not go through the manager's proxy checks it.
  /// `format` is only read during the call.
  ///
  /// A null or empty `path`, a null `format` or a null `sink`: false with
  /// result::InvalidParameter. A format the encoder can write nothing near (for
  /// example zero channels or a zero sample rate): false with result::BadFormat. A file
  /// that cannot be created: false with result::OpenFailed and the Windows error
  /// number as the system error. On every failure `*sink` (when `sink` is not null) is
  /// set to null and the call leaves no file of its own behind. The error slot, when
  /// given, receives an error object with one reference on failure; when it is null
  /// no error object is made. `*sink` and `*error` are overwritten without being
  /// released.
  virtual bool TB_STDCALL CreateFileSink(const char* path, const AudioFormat* format,
                                         IUnknown** sink, IError** error) = 0;
};

/// Tags for the file a sink writes, optional on sinks (the WAVE writer offers it). A
/// host reaches it by QueryInterface on the sink, or on the manager's sink proxy, which
/// passes the query on to the sink.
struct ISinkTags : public IUnknown {
  /// Sets the texts the file carries (null or empty: none; copied during the call) and
  /// the year (0 or less: none), replacing what was set before. Tags belong in the
  /// file's header, so they are set before the sink's first Start: afterwards the call
  /// changes nothing and returns false.
  virtual bool TB_STDCALL SetTags(const char* title, const char* artist, const char* album,
                                  const char* genre, int32_t year) = 0;
};

/// The compression level of a sink whose encoder trades time for size without changing
/// the audio (the FLAC encoder offers it), optional on sinks. A host reaches it as it
/// reaches ISinkTags. Levels are small whole numbers: the lowest is the fastest, the
/// highest makes the smallest files, and each encoder documents its own range.
struct ISinkCompression : public IUnknown {
  /// The range of levels the encoder takes and the level a sink uses unless told
  /// otherwise; any null slot is skipped. Always true.
  virtual bool TB_STDCALL GetLevelRange(int32_t* lowest, int32_t* highest, int32_t* standard) = 0;
  /// Sets the level the file is written with. The level shapes the file from its first
  /// sample, so it is set before the sink's first Start: afterwards, or for a level
  /// outside the range, the call changes nothing and returns false.
  virtual bool TB_STDCALL SetLevel(int32_t level) = 0;
  /// The level the sink writes (or will write) with.
  virtual int32_t TB_STDCALL GetLevel() = 0;
};

}  // namespace tb

TB_DECLARE_IID(ISinkFactory, "3396DDCB-A7A3-4302-8E59-53E57C1A9A3A", 0x3396DDCB, 0xA7A3, 0x4302,
               0x8E, 0x59, 0x53, 0xE5, 0x7C, 0x1A, 0x9A, 0x3A)

TB_DECLARE_IID(ISinkTags, "15D5290D-1743-4929-80F1-0732C6E6BBDC", 0x15D5290D, 0x1743, 0x4929, 0x80,
               0xF1, 0x07, 0x32, 0xC6, 0xE6, 0xBB, 0xDC)

TB_DECLARE_IID(ISinkCompression, "3FCD7BB2-3D7F-4F79-8531-880A06DBE715", 0x3FCD7BB2, 0x3D7F, 0x4F79,
               0x85, 0x31, 0x88, 0x0A, 0x06, 0xDB, 0xE7, 0x15)

#endif  // TUNEBAY_ENCODER_H
