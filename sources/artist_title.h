// The user's rule for artist and title: from the source's information block, from the
// file name, or the block with the file name as fallback; and how a file name is split.
#ifndef TB_SOURCES_ARTIST_TITLE_H
#define TB_SOURCES_ARTIST_TITLE_H

#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

/// Values of the ArtistTitleSource setting.
constexpr std::int32_t kArtistTitleFromBlockOrName = 0;
constexpr std::int32_t kArtistTitleFromBlock = 1;
constexpr std::int32_t kArtistTitleFromName = 2;

/// Values of the ArtistTitle_FileNameFormat setting.
constexpr std::int32_t kLayoutArtistThenTitle = 0;
constexpr std::int32_t kLayoutTitleThenArtist = 1;
constexpr std::int32_t kLayoutTitleOnly = 2;

/// Marks that a name has no delimiter.
constexpr int kNoDelimiter = -1;

struct ArtistTitle {
  std::string artist;
  std::string title;
};

/// The two parts of a name split at its delimiter.
struct NameParts {
  std::string first;
  std::string second;
};

/// Chooses the character at which a name is split: "-" if there is one; else " " if
/// there is exactly one space; else "_" if there is no space and an underscore; else
/// the last character that is not a letter, digit, space or apostrophe. Returns that
/// character as an unsigned char value, or kNoDelimiter.
///
/// Only ASCII letters and digits are letters and digits here, but bytes above 0x7F
/// count as letters too, so they never become the delimiter: in a multibyte code page
/// such a byte is only part of a character, and splitting there would tear it apart.
int ChooseDelimiter(std::string_view name);

/// Splits a name at the first occurrence of `delimiter`, dropping the run of
/// delimiters there; the second part keeps any later delimiters. With kNoDelimiter the
/// first part is the whole name and the second is empty.
NameParts SplitAtDelimiter(std::string_view name, int delimiter);

/// Assigns the parts to artist and title by the file-name layout: artist then title,
/// title then artist, or the whole name as title (and an empty artist). Any other
/// layout leaves `result` unchanged.
void AssignByLayout(std::int32_t layout, std::string_view name, const NameParts& parts,
                    ArtistTitle& result);

/// Removes leading and trailing space characters (only " ", not tabs).
std::string TrimSpaces(std::string_view text);

/// Whether the rule needs the source's file path at all; the caller asks the source
/// for it only then. Null texts count as empty.
bool ArtistTitleNeedsFileName(const char* blockTitle, const char* blockArtist, bool haveManager,
                              std::int32_t source);

/// Applies the whole rule. `blockTitle` and `blockArtist` are what the source's
/// information block gives (null counts as empty); `source` and `layout` are the two
/// settings; `filePath` is the source's path, null or empty when it has none. Without
/// a manager the block's texts are used as they come.
ArtistTitle ApplyArtistTitleRule(const char* blockTitle, const char* blockArtist, bool haveManager,
                                 std::int32_t source, std::int32_t layout, const char* filePath);

}  // namespace tb

#endif  // TB_SOURCES_ARTIST_TITLE_H
