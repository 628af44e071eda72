// Shared pieces of the reference plug-in tests: the bundled libraries loaded straight
// from bin\plugins, WAVE files built byte by byte (independently of the code under
// test), and small checks that point failures at the caller's line.
#ifndef TB_TESTS_PLUGINS_REFERENCE_TEST_REFERENCE_SUPPORT_H
#define TB_TESTS_PLUGINS_REFERENCE_TEST_REFERENCE_SUPPORT_H

#include <gtest/gtest.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/com.h"

namespace reftest {

using tb::com_ptr;

extern const char* const kDecoderDll;
extern const char* const kConvertorDll;
extern const char* const kWriterDll;

/// A new primary object of the bundled library `dll` (loaded once and kept for the
/// whole run), or null when the library or its entry point is missing.
com_ptr<tb::IComponent> PrimaryObject(const char* dll);
/// The library's ORVA_PLUGIN_ReadyToFinish.
bool ReadyToFinish(const char* dll);

/// Another interface of `object`, or null.
template <class I>
com_ptr<I> Query(IUnknown* object) {
  com_ptr<I> result;
  if (!object || FAILED(object->QueryInterface(tb::iid_of<I>(), result.put_void()))) {
    result.detach();
  }
  return result;
}

/// A decoder's ISourceOpener, released through its second table.
class Opener {
 public:
  explicit Opener(IUnknown* component);
  ~Opener();
  Opener(const Opener&) = delete;
  Opener& operator=(const Opener&) = delete;
  tb::ISourceOpener* get() const { return opener_; }
  tb::ISourceOpener* operator->() const { return opener_; }
  explicit operator bool() const { return opener_ != nullptr; }

 private:
  tb::ISourceOpener* opener_ = nullptr;
};

/// Opens `path` through a new decoder component with the masks a wrapped request uses;
/// null on failure, with the decoder's error in `*error` when `error` is given.
com_ptr<IUnknown> OpenWave(const std::string& path, com_ptr<tb::IError>* error = nullptr);

/// A WAVE file's parts; BuildWave lays them out the usual way: fmt, LIST INFO, cue,
/// data.
struct WaveLayout {
  int32_t rate = 44100;
  int32_t bits = 16;
  int32_t channels = 2;
  bool extensible = false;
  uint16_t formatTag = 1;  // the plain header's tag, or the extensible sub-format's
  std::vector<uint8_t> samples;
  std::vector<std::pair<std::string, std::string>> info;  // LIST INFO id, text
  std::vector<uint32_t> cues;                             // sample offsets
};
std::string BuildWave(const WaveLayout& layout);

/// Deterministic pseudo-random bytes.
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);

/// Whether two streams of `bits`-bit samples have the same length and no sample differs by
/// more than a step (or 1e-8 of full scale): what feeding a resampler in other blocks may
/// change, its early transforms differing within the filter's stopband.
bool SameWithinOneStep(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int32_t bits);
/// A little-endian 32-bit store into `bytes` at `at`.
void Put32(std::string* bytes, size_t at, uint32_t value);

bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

/// Reads a source to its end (Read giving true with length 0) in reads of `chunk`
/// bytes, checking that every read delivers whole frames and writes nothing past the
/// size it was given.
::testing::AssertionResult ReadAll(IUnknown* source, uint32_t chunk, std::vector<uint8_t>* out);

/// The error's code and that its message holds `text`.
::testing::AssertionResult IsError(tb::IError* error, uint32_t code, const std::string& text);

/// Releases the last reference held in `p` and checks that it was the last.
template <class T>
::testing::AssertionResult ReleaseLast(com_ptr<T>& p) {
  if (!p) return ::testing::AssertionFailure() << "nothing to release";
  const ULONG left = p.detach()->Release();
  if (left == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "last Release returned " << left;
}

}  // namespace reftest

#endif  // TB_TESTS_PLUGINS_REFERENCE_TEST_REFERENCE_SUPPORT_H
