// The byte streams the WAVE code reads and writes through, so the plug-ins can put a
// file behind them and the tests and fuzzer a buffer.
#ifndef TB_PLUGINS_WAV_BYTE_IO_H
#define TB_PLUGINS_WAV_BYTE_IO_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tb::wav {

/// Random-access input.
class ByteReader {
 public:
  virtual ~ByteReader() = default;
  /// The size of the stream in bytes.
  virtual uint64_t Size() = 0;
  /// Reads up to `size` bytes at `offset` into `buffer`; the result is the number read,
  /// fewer only at the end of the stream or on a read failure.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

/// Sequential output that can go back to patch what it wrote.
class ByteWriter {
 public:
  virtual ~ByteWriter() = default;
  /// Writes all `size` bytes at the current position and moves past them; false when
  /// they could not all be written.
  virtual bool Write(const void* data, size_t size) = 0;
  /// Moves the current position to `offset` (at most the size written so far).
  virtual bool Seek(uint64_t offset) = 0;
};

/// A reader over a caller's buffer, which must outlive it.
class MemoryReader final : public ByteReader {
 public:
  MemoryReader(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint64_t Size() override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

/// A writer into a growing buffer.
class MemoryWriter final : public ByteWriter {
 public:
  bool Write(const void* data, size_t size) override;
  bool Seek(uint64_t offset) override;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace tb::wav

#endif  // TB_PLUGINS_WAV_BYTE_IO_H
