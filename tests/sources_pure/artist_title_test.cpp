#include "sources/artist_title.h"

#include <gtest/gtest.h>

namespace tb {
namespace {

// The rule as a proxy applies it for a source with no information block.
ArtistTitle FromName(const std::string& fileName, std::int32_t layout = kLayoutArtistThenTitle) {
  const std::string path = "C:\\Music\\" + fileName + ".mp3";
  return ApplyArtistTitleRule(nullptr, nullptr, true, kArtistTitleFromName, layout, path.c_str());
}

::testing::AssertionResult Gives(const ArtistTitle& got, const std::string& artist,
                                 const std::string& title) {
  if (got.artist == artist && got.title == title) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "artist \"" << got.artist << "\", title \"" << got.title << "\"";
}

TEST(artist_title_test, hyphen_wins_over_spaces_and_spaces_are_trimmed) {
  EXPECT_TRUE(Gives(FromName("The Band - A Song"), "The Band", "A Song"));
  EXPECT_TRUE(Gives(FromName("Band -- Song"), "Band", "Song"));
}

TEST(artist_title_test, second_part_keeps_later_delimiters) {
  EXPECT_TRUE(Gives(FromName("Band-Song-Live"), "Band", "Song-Live"));
  EXPECT_TRUE(Gives(FromName("a_b_c"), "a", "b_c"));
}

TEST(artist_title_test, single_space_splits_and_underscore_stays) {
  EXPECT_TRUE(Gives(FromName("Band Song_Live"), "Band", "Song_Live"));
  EXPECT_TRUE(Gives(FromName("Don't Stop"), "Don't", "Stop"));
}

TEST(artist_title_test, several_spaces_without_punctuation_do_not_split) {
  EXPECT_TRUE(Gives(FromName("one two three"), "one two three", ""));
  EXPECT_TRUE(Gives(FromName("It's"), "It's", ""));
}

TEST(artist_title_test, otherwise_the_last_other_character_splits) {
  // The last extension is already gone; the full stop left is the delimiter.
  EXPECT_TRUE(Gives(FromName("Band.Song"), "Band", "Song"));
  EXPECT_TRUE(Gives(FromName("Ba.nd,Song"), "Ba.nd", "Song"));
  // With spaces about, an underscore can still be that last character.
  EXPECT_TRUE(Gives(FromName("my band is_great"), "my band is", "great"));
}

TEST(artist_title_test, name_beginning_with_delimiter_has_empty_first_part) {
  EXPECT_TRUE(Gives(FromName("-Song"), "", "Song"));
  EXPECT_TRUE(Gives(FromName("-Song", kLayoutTitleThenArtist), "Song", ""));
}

TEST(artist_title_test, bytes_above_ascii_never_become_the_delimiter) {
  EXPECT_EQ(ChooseDelimiter("Caf\xE9\x96Song"), kNoDelimiter);
  EXPECT_TRUE(Gives(FromName("Caf\xE9\x96Song"), "Caf\xE9\x96Song", ""));
  EXPECT_TRUE(Gives(FromName("\x82\xA0.\x82\xA2"), "\x82\xA0", "\x82\xA2"));
}

TEST(artist_title_test, layouts_assign_parts) {
  EXPECT_TRUE(Gives(FromName("Song - Band", kLayoutTitleThenArtist), "Band", "Song"));
  EXPECT_TRUE(Gives(FromName("  Whole - Name  ", kLayoutTitleOnly), "", "Whole - Name"));
  EXPECT_TRUE(Gives(FromName("Band - Song", 7), "", ""));
}

TEST(artist_title_test, parsed_name_is_file_name_without_directory_and_last_extension) {
  const ArtistTitle got =
      ApplyArtistTitleRule(nullptr, nullptr, true, kArtistTitleFromName, kLayoutArtistThenTitle,
                           "\\\\srv\\a-b\\Band - Song.live.mp3");
  EXPECT_TRUE(Gives(got, "Band", "Song.live"));
  const std::string longName = "Band-" + std::string(300, 's');
  EXPECT_TRUE(Gives(FromName(longName), "Band", std::string(250, 's')));
}

TEST(artist_title_test, block_or_name_uses_name_when_a_text_is_missing) {
  const char* path = "C:\\Band - Song.mp3";
  EXPECT_TRUE(
      Gives(ApplyArtistTitleRule(nullptr, "Tag Artist", true, kArtistTitleFromBlockOrName, 0, path),
            "Band", "Song"));
  EXPECT_TRUE(Gives(ApplyArtistTitleRule(" T ", " A ", true, kArtistTitleFromBlockOrName, 0, path),
                    " A ", " T "));
  EXPECT_TRUE(
      Gives(ApplyArtistTitleRule("", "Tag Artist", true, kArtistTitleFromBlockOrName, 0, nullptr),
            "Tag Artist", ""));
  // An unknown layout assigns nothing, but trimming still applies.
  EXPECT_TRUE(Gives(
      ApplyArtistTitleRule(nullptr, " A ", true, kArtistTitleFromBlockOrName, 9, path), "A", ""));
}

TEST(artist_title_test, block_texts_used_as_they_come_when_name_is_not_wanted) {
  const char* path = "C:\\Band - Song.mp3";
  EXPECT_TRUE(
      Gives(ApplyArtistTitleRule(nullptr, nullptr, true, kArtistTitleFromBlock, 0, path), "", ""));
  EXPECT_TRUE(Gives(ApplyArtistTitleRule(" T", nullptr, true, 5, 0, path), "", " T"));
  EXPECT_TRUE(
      Gives(ApplyArtistTitleRule(nullptr, " A", false, kArtistTitleFromName, 0, path), " A", ""));
  EXPECT_FALSE(ArtistTitleNeedsFileName("T", "A", true, kArtistTitleFromBlockOrName));
  EXPECT_TRUE(ArtistTitleNeedsFileName("T", "A", true, kArtistTitleFromName));
  EXPECT_FALSE(ArtistTitleNeedsFileName(nullptr, nullptr, false, kArtistTitleFromName));
}

TEST(artist_title_test, name_only_without_path_gives_empty_texts) {
  EXPECT_TRUE(
      Gives(ApplyArtistTitleRule("T", "A", true, kArtistTitleFromName, 0, nullptr), "", ""));
  EXPECT_TRUE(Gives(ApplyArtistTitleRule("T", "A", true, kArtistTitleFromName, 0, ""), "", ""));
}

}  // namespace
}  // namespace tb
