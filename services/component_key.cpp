#include "services/component_key.h"

#include <cstdio>

namespace tb {
namespace {

std::uint32_t LittleEndian16(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8;
}

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return LittleEndian16(bytes) | LittleEndian16(bytes + 2) << 16;
}

}  // namespace

std::string IdentityKey(const unsigned char id[kClassIdSize]) {
  // The key has 36 characters; the compiler cannot see that the 16-bit groups stay at
  // four digits, so the buffer leaves room for 32-bit ones.
  char text[64];
  std::snprintf(text, sizeof text, "%08lx-%04lx-%04lx-%04lx-%04lx%08lx",
                static_cast<unsigned long>(LittleEndian32(id)),
                static_cast<unsigned long>(LittleEndian16(id + 4)),
                static_cast<unsigned long>(LittleEndian16(id + 6)),
                static_cast<unsigned long>(LittleEndian16(id + 8)),
                static_cast<unsigned long>(LittleEndian16(id + 10)),
                static_cast<unsigned long>(LittleEndian32(id + 12)));
  return text;
}

std::string OriginKey(const char* moduleFileName, std::int32_t index) {
  std::string key = moduleFileName ? moduleFileName : "";
  key += '*';
  key += std::to_string(index);
  return key;
}

}  // namespace tb
