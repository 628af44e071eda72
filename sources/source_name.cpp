#include "sources/source_name.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "base/ascii.h"

namespace tb {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Longest text that fits a C-runtime buffer of `size` bytes with its zero.
std::string_view CutToFit(std::string_view part, int size) {
  return part.substr(0, static_cast<std::size_t>(size - 1));
}

}  // namespace

SourceNameKind ClassifySourceName(const char* name) {
  if (!name || !*name) return SourceNameKind::kBadPath;
  const std::string_view text(name);
  const std::size_t n = text.size();
  // A scheme alone names nothing to fetch.
  if (n >= 8 && StartsWithIgnoringAsciiCase(text, "http://")) return SourceNameKind::kHttpUrl;
  if (n >= 7 && StartsWithIgnoringAsciiCase(text, "ftp://")) return SourceNameKind::kFtpUrl;
  if (n >= 3 && text[0] == '\\' && text[1] == '\\') return SourceNameKind::kLocalFile;
  if (n >= 4 && IsAsciiLetter(text[0]) && text[1] == ':' && text[2] == '\\') {
    return SourceNameKind::kLocalFile;
  }
  return SourceNameKind::kBadPath;
}

PathParts SplitPathName(const char* path) {
  PathParts parts;
  if (!path) return parts;
  std::string_view rest(path);

  if (rest.size() >= 2 && rest[1] == ':') {
    parts.drive = CutToFit(rest.substr(0, 2), kDriveSize);
    rest.remove_prefix(2);
  }

  std::size_t nameStart = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (IsSeparator(rest[i])) nameStart = i + 1;
  }
  parts.directory = CutToFit(rest.substr(0, nameStart), kDirectorySize);
  rest.remove_prefix(nameStart);

  const std::size_t dot = rest.rfind('.');
  if (dot != std::string_view::npos) {
    // The buffer holds the dot too; what is compared is the text after it.
    std::string_view dotted = CutToFit(rest.substr(dot), kExtensionSize);
    parts.extension = dotted.substr(1);
    rest = rest.substr(0, dot);
  }
  parts.name = CutToFit(rest, kFileNameSize);
  return parts;
}

bool ExtensionsMatch(const char* fileExtension, const char* listedExtension) {
  if (!fileExtension || !*fileExtension || !listedExtension) return false;
  return EqualsIgnoringAsciiCase(fileExtension, listedExtension);
}

}  // namespace tb
