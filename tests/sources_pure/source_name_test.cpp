#include "sources/source_name.h"

#include <gtest/gtest.h>

namespace tb {
namespace {

constexpr SourceNameKind kBad = SourceNameKind::kBadPath;
constexpr SourceNameKind kLocal = SourceNameKind::kLocalFile;

TEST(source_name_test, drive_path_needs_something_after_the_root) {
  EXPECT_EQ(ClassifySourceName("C:\\"), kBad);
  EXPECT_EQ(ClassifySourceName("C:\\a"), kLocal);
  EXPECT_EQ(ClassifySourceName("z:\\music\\song.mp3"), kLocal);
  EXPECT_EQ(ClassifySourceName("C:/music/song.mp3"), kBad);
  EXPECT_EQ(ClassifySourceName("C:song.mp3"), kBad);
  EXPECT_EQ(ClassifySourceName("1:\\song.mp3"), kBad);
  EXPECT_EQ(ClassifySourceName("music\\song.mp3"), kBad);
  EXPECT_EQ(ClassifySourceName(".\\song.mp3"), kBad);
}

TEST(source_name_test, non_ascii_first_byte_is_not_a_drive_letter) {
  EXPECT_EQ(ClassifySourceName("\xC4:\\song.mp3"), kBad);
  EXPECT_EQ(ClassifySourceName("\xE9:\\a"), kBad);
}

TEST(source_name_test, unc_path_needs_a_character_after_the_backslashes) {
  EXPECT_EQ(ClassifySourceName("\\\\"), kBad);
  EXPECT_EQ(ClassifySourceName("\\\\s"), kLocal);
  EXPECT_EQ(ClassifySourceName("\\\\server\\share\\song.mp3"), kLocal);
  EXPECT_EQ(ClassifySourceName("\\song.mp3"), kBad);
}

TEST(source_name_test, url_schemes_ignore_case_and_need_more_than_the_scheme) {
  EXPECT_EQ(ClassifySourceName("http://"), kBad);
  EXPECT_EQ(ClassifySourceName("http://h"), SourceNameKind::kHttpUrl);
  EXPECT_EQ(ClassifySourceName("HTTP://host/file.mp3"), SourceNameKind::kHttpUrl);
  EXPECT_EQ(ClassifySourceName("ftp://"), kBad);
  EXPECT_EQ(ClassifySourceName("FtP://host/file.mp3"), SourceNameKind::kFtpUrl);
  EXPECT_EQ(ClassifySourceName("https://host/file.mp3"), kBad);
  EXPECT_EQ(ClassifySourceName("http:/host"), kBad);
}

TEST(source_name_test, absent_or_empty_name_is_bad) {
  EXPECT_EQ(ClassifySourceName(nullptr), kBad);
  EXPECT_EQ(ClassifySourceName(""), kBad);
}

TEST(source_name_test, split_takes_last_dot_of_the_file_name_as_extension) {
  PathParts parts = SplitPathName("C:\\Music\\Live.2001\\Artist - Title.remix.MP3");
  EXPECT_EQ(parts.drive, "C:");
  EXPECT_EQ(parts.directory, "\\Music\\Live.2001\\");
  EXPECT_EQ(parts.name, "Artist - Title.remix");
  EXPECT_EQ(parts.extension, "MP3");

  parts = SplitPathName("C:\\Music\\Live.2001\\noextension");
  EXPECT_EQ(parts.name, "noextension");
  EXPECT_EQ(parts.extension, "");

  parts = SplitPathName("C:\\Music\\trailingdot.");
  EXPECT_EQ(parts.name, "trailingdot");
  EXPECT_EQ(parts.extension, "");
}

TEST(source_name_test, split_accepts_both_separators_and_unc_paths) {
  PathParts parts = SplitPathName("\\\\server\\share/dir/song.ogg");
  EXPECT_EQ(parts.drive, "");
  EXPECT_EQ(parts.directory, "\\\\server\\share/dir/");
  EXPECT_EQ(parts.name, "song");
  EXPECT_EQ(parts.extension, "ogg");

  parts = SplitPathName("song.wav");
  EXPECT_EQ(parts.directory, "");
  EXPECT_EQ(parts.name, "song");
  EXPECT_EQ(parts.extension, "wav");

  parts = SplitPathName(nullptr);
  EXPECT_TRUE(parts.drive.empty() && parts.directory.empty() && parts.name.empty() &&
              parts.extension.empty());
}

TEST(source_name_test, over_long_parts_are_cut_to_their_buffers) {
  const std::string longDir(300, 'd');
  const std::string longName(300, 'n');
  const std::string longExt(300, 'e');
  PathParts parts = SplitPathName(("C:\\" + longDir + "\\" + longName + "." + longExt).c_str());
  EXPECT_EQ(parts.directory.size(), 255u);
  EXPECT_EQ(parts.directory.substr(0, 4), "\\ddd");
  EXPECT_EQ(parts.name, std::string(255, 'n'));
  // The extension's buffer also holds the dot.
  EXPECT_EQ(parts.extension, std::string(254, 'e'));

  parts = SplitPathName(("C:\\" + std::string(255, 'x') + ".mp3").c_str());
  EXPECT_EQ(parts.name.size(), 255u);
  EXPECT_EQ(parts.extension, "mp3");
}

TEST(source_name_test, extensions_match_ignoring_ascii_case_only) {
  EXPECT_TRUE(ExtensionsMatch("Mp3", "mP3"));
  EXPECT_FALSE(ExtensionsMatch("mp3", "mp"));
  EXPECT_FALSE(ExtensionsMatch("mp", "mp3"));
  EXPECT_FALSE(ExtensionsMatch("\xC4", "\xE4"));
  EXPECT_TRUE(ExtensionsMatch("\xC4", "\xC4"));
}

TEST(source_name_test, empty_or_null_extension_matches_nothing) {
  EXPECT_FALSE(ExtensionsMatch("", ""));
  EXPECT_FALSE(ExtensionsMatch("mp3", nullptr));
  EXPECT_FALSE(ExtensionsMatch(nullptr, "mp3"));
  EXPECT_FALSE(ExtensionsMatch("mp3", ""));
}

}  // namespace
}  // namespace tb
