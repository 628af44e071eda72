#include "base/pe_image.h"

#include <algorithm>
#include <cstdio>

namespace tb {

namespace {

// Little-endian reads that fail instead of reading past the buffer.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

  bool has(size_t offset, size_t count) const noexcept {
    return offset <= size_ && count <= size_ - offset;
  }
  bool u16(size_t offset, uint16_t& out) const noexcept {
    if (!has(offset, 2)) return false;
    out = static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
    return true;
  }
  bool u32(size_t offset, uint32_t& out) const noexcept {
    if (!has(offset, 4)) return false;
    out = static_cast<uint32_t>(data_[offset]) | static_cast<uint32_t>(data_[offset + 1]) << 8 |
          static_cast<uint32_t>(data_[offset + 2]) << 16 |
          static_cast<uint32_t>(data_[offset + 3]) << 24;
    return true;
  }
  bool u64(size_t offset, uint64_t& out) const noexcept {
    uint32_t low = 0, high = 0;
    if (!u32(offset, low) || !u32(offset + 4, high)) return false;
    out = static_cast<uint64_t>(high) << 32 | low;
    return true;
  }
  // A zero-terminated text of at most kMaxImageName characters; false when it runs
  // past the buffer or the limit.
  bool text(size_t offset, std::string& out) const {
    out.clear();
    for (size_t i = 0; i <= kMaxImageName; ++i) {
      if (!has(offset + i, 1)) return false;
      const char c = static_cast<char>(data_[offset + i]);
      if (c == '\0') return true;
      out += c;
    }
    return false;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

class Layout {
 public:
  Layout(const Bytes& bytes, uint32_t headerSize) : bytes_(bytes), headerSize_(headerSize) {}
  void add(const Section& section) { sections_.push_back(section); }

  // The file offset of an address relative to the image, when file data lies there.
  bool offsetOf(uint32_t rva, size_t& offset) const noexcept {
    for (const Section& s : sections_) {
      if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
        offset = static_cast<size_t>(s.rawOffset) + (rva - s.virtualAddress);
        return bytes_.has(offset, 1);
      }
    }
    if (rva < headerSize_) {
      offset = rva;
      return bytes_.has(offset, 1);
    }
    return false;
  }
  bool u16(uint32_t rva, uint16_t& out) const noexcept {
    size_t offset = 0;
    return offsetOf(rva, offset) && bytes_.u16(offset, out);
  }
  bool u32(uint32_t rva, uint32_t& out) const noexcept {
    size_t offset = 0;
    return offsetOf(rva, offset) && bytes_.u32(offset, out);
  }
  bool u64(uint32_t rva, uint64_t& out) const noexcept {
    size_t offset = 0;
    return offsetOf(rva, offset) && bytes_.u64(offset, out);
  }
  bool text(uint32_t rva, std::string& out) const {
    size_t offset = 0;
    return offsetOf(rva, offset) && bytes_.text(offset, out);
  }

 private:
  const Bytes& bytes_;
  uint32_t headerSize_;
  std::vector<Section> sections_;
};

constexpr uint32_t kImportDescriptorSize = 20;

void ReadImports(const Layout& layout, uint32_t directory, PeImage& image) {
  size_t functions = 0;
  for (size_t i = 0;; ++i) {
    if (i == kMaxImportedLibraries) {
      image.truncated = true;
      return;
    }
    const uint32_t entry = directory + static_cast<uint32_t>(i) * kImportDescriptorSize;
    uint32_t lookup = 0, name = 0, thunks = 0;
    if (entry < directory || !layout.u32(entry, lookup) || !layout.u32(entry + 12, name) ||
        !layout.u32(entry + 16, thunks)) {
      image.truncated = true;
      return;
    }
    if (name == 0 && thunks == 0) return;  // the terminating entry
    PeImport import;
    if (!layout.text(name, import.library)) {
      image.truncated = true;
      return;
    }
    // The lookup table names the functions; old linkers leave it out and only the
    // address table (bound or not) is there.
    const uint32_t table = lookup != 0 ? lookup : thunks;
    const uint32_t step = image.wide ? 8 : 4;
    for (uint32_t slot = table;; slot += step) {
      if (functions == kMaxImportedFunctions || slot < table) {
        image.truncated = true;
        break;
      }
      uint64_t value = 0;
      uint32_t narrow = 0;
      if (image.wide ? !layout.u64(slot, value) : !layout.u32(slot, narrow)) {
        image.truncated = true;
        break;
      }
      if (!image.wide) value = narrow;
      if (value == 0) break;
      const uint64_t ordinalFlag = image.wide ? 1ull << 63 : 1ull << 31;
      PeImportedFunction function;
      if (value & ordinalFlag) {
        function.ordinal = static_cast<uint16_t>(value & 0xffff);
      } else if (value > 0xffffffffull ||
                 !layout.text(static_cast<uint32_t>(value) + 2, function.name)) {
        image.truncated = true;
        break;
      }
      import.functions.push_back(std::move(function));
      ++functions;
    }
    image.imports.push_back(std::move(import));
  }
}

void ReadExports(const Layout& layout, uint32_t directory, PeImage& image) {
  uint32_t ordinalBase = 0, functionCount = 0, nameCount = 0, names = 0;
  if (!layout.u32(directory + 16, ordinalBase) || !layout.u32(directory + 20, functionCount) ||
      !layout.u32(directory + 24, nameCount) || !layout.u32(directory + 32, names)) {
    image.truncated = true;
    return;
  }
  image.ordinalBase = ordinalBase;
  image.ordinalCount = functionCount;
  for (uint32_t i = 0; i < nameCount; ++i) {
    if (i == kMaxExportedNames) {
      image.truncated = true;
      return;
    }
    uint32_t nameRva = 0;
    std::string name;
    if (names + i * 4 < names || !layout.u32(names + i * 4, nameRva) ||
        !layout.text(nameRva, name)) {
      image.truncated = true;
      return;
    }
    image.exports.push_back(std::move(name));
  }
}

}  // namespace

bool PeImage::exportsName(const std::string& name) const {
  return std::find(exports.begin(), exports.end(), name) != exports.end();
}

bool PeImage::exportsOrdinal(uint16_t ordinal) const noexcept {
  return ordinal >= ordinalBase && ordinal - ordinalBase < ordinalCount;
}

PeImage ReadPeImage(const uint8_t* data, size_t size) {
  PeImage image;
  const Bytes bytes(data, size);
  uint16_t magic = 0;
  uint32_t headerOffset = 0, signature = 0;
  if (!bytes.u16(0, magic) || magic != 0x5a4d) {
    image.problem = "not an executable image (no MZ header)";
    return image;
  }
  if (!bytes.u32(0x3c, headerOffset) || !bytes.u32(headerOffset, signature) ||
      signature != 0x00004550) {
    image.problem = "not a Windows image (no PE header)";
    return image;
  }
  const size_t fileHeader = size_t(headerOffset) + 4;
  uint16_t sectionCount = 0, optionalSize = 0, optionalMagic = 0;
  if (!bytes.u16(fileHeader, image.machine) || !bytes.u16(fileHeader + 2, sectionCount) ||
      !bytes.u16(fileHeader + 16, optionalSize) ||
      !bytes.u16(fileHeader + 18, image.characteristics)) {
    image.problem = "damaged image (file header cut short)";
    return image;
  }
  const size_t optional = fileHeader + 20;
  if (!bytes.u16(optional, optionalMagic) || (optionalMagic != 0x10b && optionalMagic != 0x20b)) {
    image.problem = "damaged image (no optional header)";
    return image;
  }
  image.wide = optionalMagic == 0x20b;
  uint32_t headerSize = 0, directoryCount = 0;
  const size_t directories = optional + (image.wide ? 112 : 96);
  if (!bytes.u32(optional + 60, headerSize) || !bytes.u16(optional + 68, image.subsystem) ||
      !bytes.u32(optional + (image.wide ? 108 : 92), directoryCount) ||
      directories > optional + optionalSize) {
    image.problem = "damaged image (optional header cut short)";
    return image;
  }
  // Only the directories that fit the optional header as the file header sizes it.
  directoryCount = std::min<uint32_t>(
      directoryCount, static_cast<uint32_t>((optional + optionalSize - directories) / 8));

  Layout layout(bytes, headerSize);
  const size_t sections = optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const size_t at = sections + size_t(i) * 40;
    Section s{};
    if (!bytes.u32(at + 8, s.virtualSize) || !bytes.u32(at + 12, s.virtualAddress) ||
        !bytes.u32(at + 16, s.rawSize) || !bytes.u32(at + 20, s.rawOffset)) {
      image.problem = "damaged image (section table cut short)";
      return image;
    }
    // Only what the file holds and the section's memory covers is the section's.
    if (s.virtualSize != 0) s.rawSize = std::min(s.rawSize, s.virtualSize);
    layout.add(s);
  }

  uint32_t exportRva = 0, exportSize = 0, importRva = 0, importSize = 0;
  if (directoryCount > 0 && bytes.u32(directories, exportRva) &&
      bytes.u32(directories + 4, exportSize) && exportRva != 0 && exportSize != 0) {
    ReadExports(layout, exportRva, image);
  }
  if (directoryCount > 1 && bytes.u32(directories + 8, importRva) &&
      bytes.u32(directories + 12, importSize) && importRva != 0 && importSize != 0) {
    ReadImports(layout, importRva, image);
  }
  return image;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case kMachineI386:
      return "x86";
    case kMachineAmd64:
      return "x64";
    case kMachineArm64:
      return "ARM64";
    case kMachineArmNt:
      return "ARM";
    default: {
      char text[24];
      std::snprintf(text, sizeof text, "machine 0x%04x", machine);
      return text;
    }
  }
}

std::string SubsystemName(uint16_t subsystem) {
  switch (subsystem) {
    case 1:
      return "native";
    case 2:
      return "Windows GUI";
    case 3:
      return "Windows console";
    case 9:
      return "Windows CE";
    case 10:
      return "EFI application";
    default:
      return "subsystem " + std::to_string(subsystem);
  }
}

}  // namespace tb
