// Reads the facts of a Windows executable image that explain why a library does or
// does not load: its machine, subsystem and kind, the libraries and functions it
// imports and the names it exports. Works on the file's bytes alone, without loading
// it and without the platform, so that it also builds natively and is fuzzed: every
// offset in the file is checked against the buffer before it is read.
#ifndef TB_BASE_PE_IMAGE_H
#define TB_BASE_PE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tb {

/// Machine values of the file header.
constexpr uint16_t kMachineI386 = 0x014c;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xaa64;
constexpr uint16_t kMachineArmNt = 0x01c4;

/// Limits that keep a hostile file from making the reader work or allocate without end.
constexpr size_t kMaxImportedLibraries = 256;
constexpr size_t kMaxImportedFunctions = 8192;
constexpr size_t kMaxExportedNames = 16384;
constexpr size_t kMaxImageName = 256;

/// One function a library imports: by name, or by ordinal when `name` is empty.
struct PeImportedFunction {
  std::string name;
  uint16_t ordinal = 0;
};

/// One library an image imports and what it takes from it.
struct PeImport {
  std::string library;
  std::vector<PeImportedFunction> functions;
};

struct PeImage {
  /// Empty when the bytes are a readable image; otherwise why not ("no MZ header").
  std::string problem;
  uint16_t machine = 0;
  uint16_t subsystem = 0;
  uint16_t characteristics = 0;
  /// PE32+ (a 64-bit optional header) rather than PE32.
  bool wide = false;
  std::vector<PeImport> imports;
  std::vector<std::string> exports;
  /// The ordinal range the export table covers: base .. base + count - 1.
  uint32_t ordinalBase = 0;
  uint32_t ordinalCount = 0;
  /// Set when a table was cut at a limit above or at a damaged entry; what was read
  /// before is kept.
  bool truncated = false;

  bool valid() const noexcept { return problem.empty(); }
  bool isDll() const noexcept { return (characteristics & 0x2000) != 0; }
  bool exportsName(const std::string& name) const;
  bool exportsOrdinal(uint16_t ordinal) const noexcept;
};

/// Reads `size` bytes of an image file (null with size 0 is an empty file).
PeImage ReadPeImage(const uint8_t* data, size_t size);

/// "x86", "x64", "ARM64", "ARM" or "machine 0x1234".
std::string MachineName(uint16_t machine);
/// "Windows GUI", "Windows console", "native" ... or "subsystem N".
std::string SubsystemName(uint16_t subsystem);

}  // namespace tb

#endif  // TB_BASE_PE_IMAGE_H
