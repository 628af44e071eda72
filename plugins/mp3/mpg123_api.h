// The part of libmpg123 the MP3 decoder calls, as a table of entry points. The library
// is LGPL and ships as its own DLL beside the plug-in, so a user may replace it; the
// plug-in loads it by full path (LoadMpg123) and never links it.
//
// The DLL is built with 64-bit file offsets, so the offset-taking entry points are the
// "_64" ones and offsets are int64_t here, whatever the including code's off_t is.
#ifndef TB_PLUGINS_MP3_MPG123_API_H
#define TB_PLUGINS_MP3_MPG123_API_H

#include <mpg123.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tb::mp3 {

struct Mpg123Api {
  using ReadFn = int (*)(void* handle, void* buffer, size_t size);
  using SeekFn = int64_t (*)(void* handle, int64_t offset, int whence);

  int (*init)();
  mpg123_handle* (*create)(const char* decoder, int* error);
  void (*destroy)(mpg123_handle*);
  int (*param)(mpg123_handle*, int type, long value, double fvalue);
  int (*formatNone)(mpg123_handle*);
  int (*format)(mpg123_handle*, long rate, int channels, int encodings);
  void (*rates)(const long** list, size_t* count);
  int (*replaceReader)(mpg123_handle*, ReadFn, SeekFn, void (*cleanup)(void*));
  int (*openHandle)(mpg123_handle*, void* handle);
  int (*close)(mpg123_handle*);
  int (*getFormat)(mpg123_handle*, long* rate, int* channels, int* encoding);
  int (*scan)(mpg123_handle*);
  int64_t (*length)(mpg123_handle*);
  /// Decodes the next MPEG frame into the library's own buffer: `*audio` and `*bytes`
  /// say where its PCM lies, valid until the next call.
  int (*decodeFrame)(mpg123_handle*, int64_t* frame, unsigned char** audio, size_t* bytes);
  int64_t (*seek)(mpg123_handle*, int64_t sample, int whence);
  int (*metaCheck)(mpg123_handle*);
  int (*id3)(mpg123_handle*, mpg123_id3v1** v1, mpg123_id3v2** v2);
  const char* (*strerror)(mpg123_handle*);
  const char* (*plainStrerror)(int code);
  int (*info)(mpg123_handle*, mpg123_frameinfo2* info);

  /// Frees the library; set by the loader.
  std::shared_ptr<void> module;
};

/// Loads the library from `path` (a full path). Null, with `*error` saying why, when the
/// file is missing or lacks an entry point.
std::shared_ptr<const Mpg123Api> LoadMpg123(const std::string& path, std::string* error);

/// The full path of "libmpg123.dll" in the folder of the module that holds this code.
std::string Mpg123PathBesideThisModule();

}  // namespace tb::mp3

#endif  // TB_PLUGINS_MP3_MPG123_API_H
