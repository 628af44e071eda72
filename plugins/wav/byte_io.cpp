#include "plugins/wav/byte_io.h"

#include <algorithm>
#include <cstring>

namespace tb::wav {

size_t MemoryReader::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset >= size_) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
  if (n > 0) std::memcpy(buffer, data_ + offset, n);
  return n;
}

bool MemoryWriter::Write(const void* data, size_t size) {
  if (size == 0) return true;
  if (pos_ + size > bytes_.size()) bytes_.resize(pos_ + size);
  std::memcpy(bytes_.data() + pos_, data, size);
  pos_ += size;
  return true;
}

bool MemoryWriter::Seek(uint64_t offset) {
  if (offset > bytes_.size()) return false;
  pos_ = static_cast<size_t>(offset);
  return true;
}

}  // namespace tb::wav
