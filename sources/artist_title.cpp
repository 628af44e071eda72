#include "sources/artist_title.h"

#include "sources/source_name.h"

namespace tb {
namespace {

bool CountsAsLetterOrDigit(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80;
}

std::string TextOrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

int ChooseDelimiter(std::string_view name) {
  int spaces = 0;
  int hyphens = 0;
  int underscores = 0;
  int remembered = kNoDelimiter;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ') ++spaces;
    if (c == '-') ++hyphens;
    if (c == '_') ++underscores;
    if (!CountsAsLetterOrDigit(c) && c != ' ' && c != '\'') remembered = c;
  }
  if (hyphens > 0) return '-';
  if (spaces == 1) return ' ';
  if (spaces == 0 && underscores > 0) return '_';
  return remembered;
}

NameParts SplitAtDelimiter(std::string_view name, int delimiter) {
  NameParts parts;
  const std::size_t at =
      delimiter == kNoDelimiter ? std::string_view::npos : name.find(static_cast<char>(delimiter));
  if (at == std::string_view::npos) {
    parts.first = name;
    return parts;
  }
  parts.first = name.substr(0, at);
  std::size_t rest = at;
  while (rest < name.size() && name[rest] == static_cast<char>(delimiter)) ++rest;
  parts.second = name.substr(rest);
  return parts;
}

void AssignByLayout(std::int32_t layout, std::string_view name, const NameParts& parts,
                    ArtistTitle& result) {
  switch (layout) {
    case kLayoutArtistThenTitle:
      result.artist = parts.first;
      result.title = parts.second;
      break;
    case kLayoutTitleThenArtist:
      result.artist = parts.second;
      result.title = parts.first;
      break;
    case kLayoutTitleOnly:
      result.artist.clear();
      result.title = name;
      break;
    default:
      break;
  }
}

std::string TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  const std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

bool ArtistTitleNeedsFileName(const char* blockTitle, const char* blockArtist, bool haveManager,
                              std::int32_t source) {
  if (!haveManager) return false;
  if (source == kArtistTitleFromName) return true;
  if (source == kArtistTitleFromBlockOrName) {
    return !(blockTitle && *blockTitle && blockArtist && *blockArtist);
  }
  return false;
}

ArtistTitle ApplyArtistTitleRule(const char* blockTitle, const char* blockArtist, bool haveManager,
                                 std::int32_t source, std::int32_t layout, const char* filePath) {
  ArtistTitle result{TextOrEmpty(blockArtist), TextOrEmpty(blockTitle)};
  if (!ArtistTitleNeedsFileName(blockTitle, blockArtist, haveManager, source)) return result;
  if (source == kArtistTitleFromName) {
    result.artist.clear();
    result.title.clear();
  }
  if (!filePath || !*filePath) return result;

  const std::string name = SplitPathName(filePath).name;
  const NameParts parts = SplitAtDelimiter(name, ChooseDelimiter(name));
  AssignByLayout(layout, name, parts, result);
  result.artist = TrimSpaces(result.artist);
  result.title = TrimSpaces(result.title);
  return result;
}

}  // namespace tb
