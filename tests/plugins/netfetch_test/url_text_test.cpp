// The downloader's platform-free text rules; builds natively and in the Windows tests.
#include <gtest/gtest.h>
#include <plugins/netfetch/url_text.h>

#include <cstring>
#include <string>

namespace {

using namespace tb::netfetch;

TEST(url_text_test, scheme_needs_http_or_ftp_and_something_after_it) {
  EXPECT_EQ(SchemeOf("http://h/a.wav"), UrlScheme::kHttp);
  EXPECT_EQ(SchemeOf("HTTP://h"), UrlScheme::kHttp);
  EXPECT_EQ(SchemeOf("Ftp://h/a"), UrlScheme::kFtp);
  EXPECT_EQ(SchemeOf("http://"), UrlScheme::kUnsupported);
  EXPECT_EQ(SchemeOf("ftp://"), UrlScheme::kUnsupported);
  EXPECT_EQ(SchemeOf("https://h/a.wav"), UrlScheme::kUnsupported);
  EXPECT_EQ(SchemeOf("file:///c:/a.wav"), UrlScheme::kUnsupported);
  EXPECT_EQ(SchemeOf("http:/h"), UrlScheme::kUnsupported);
  EXPECT_EQ(SchemeOf(""), UrlScheme::kUnsupported);
  EXPECT_EQ(SchemeOf(nullptr), UrlScheme::kUnsupported);
}

TEST(url_text_test, extension_comes_from_the_last_path_segment) {
  EXPECT_EQ(ExtensionOf("http://h/music/tone.wav"), "wav");
  EXPECT_EQ(ExtensionOf("http://h/a.b/Tone.MP3"), "MP3");
  EXPECT_EQ(ExtensionOf("http://h/tone.wav?x=1.exe"), "wav");
  EXPECT_EQ(ExtensionOf("http://h/tone.ogg#part.2"), "ogg");
  EXPECT_EQ(ExtensionOf("ftp://h/tone.aiff;type=i"), "aiff");
}

TEST(url_text_test, no_extension_where_none_is_safe_to_keep) {
  // The host name is not a file name.
  EXPECT_EQ(ExtensionOf("http://example.wav"), "");
  EXPECT_EQ(ExtensionOf("http://h.com:80"), "");
  EXPECT_EQ(ExtensionOf("http://h/dir.d/plain"), "");
  EXPECT_EQ(ExtensionOf("http://h/dir/"), "");
  EXPECT_EQ(ExtensionOf("http://h/trailing."), "");
  // It becomes part of a local file name: only letters and digits, and short.
  EXPECT_EQ(ExtensionOf("http://h/a.w%41v"), "");
  EXPECT_EQ(ExtensionOf("http://h/a.w:v"), "");
  EXPECT_EQ(ExtensionOf("http://h/a.abcdefghijklmno"), "abcdefghijklmno");
  EXPECT_EQ(ExtensionOf("http://h/a.abcdefghijklmnop"), "");
  EXPECT_EQ(ExtensionOf("https://h/a.wav"), "");
  EXPECT_EQ(ExtensionOf(nullptr), "");
  // ';' only ends an ftp path.
  EXPECT_EQ(ExtensionOf("http://h/a.wav;v=1"), "");
}

TEST(url_text_test, temporary_name_takes_the_extension) {
  EXPECT_EQ(WithExtension("C:\\Temp\\tbn1A2B.tmp", "wav"), "C:\\Temp\\tbn1A2B.wav");
  EXPECT_EQ(WithExtension("C:\\Temp\\tbn1A2B.tmp", ""), "C:\\Temp\\tbn1A2B.tmp");
  // A dot in a folder name is not the file's extension.
  EXPECT_EQ(WithExtension("C:\\T.d\\tbn1", "wav"), "C:\\T.d\\tbn1");
}

TEST(url_text_test, path_is_copied_only_when_it_fits_with_its_zero) {
  char buffer[256];
  std::memset(buffer, 'x', sizeof buffer);
  std::string longest(255, 'p');
  ASSERT_TRUE(CopyIfFits(longest, buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer), longest);

  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(CopyIfFits(std::string(256, 'p'), buffer, sizeof buffer));
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(buffer[255], 'x');
  EXPECT_FALSE(CopyIfFits("a", nullptr, 256));
}

TEST(url_text_test, timeout_accepts_only_plain_positive_numbers) {
  EXPECT_EQ(ParseTimeoutMs("1500", 7u), 1500u);
  EXPECT_EQ(ParseTimeoutMs("3600000", 7u), 3600000u);
  EXPECT_EQ(ParseTimeoutMs("3600001", 7u), 7u);
  EXPECT_EQ(ParseTimeoutMs("99999999999999999999999", 7u), 7u);
  EXPECT_EQ(ParseTimeoutMs("0", 7u), 7u);
  EXPECT_EQ(ParseTimeoutMs("-5", 7u), 7u);
  EXPECT_EQ(ParseTimeoutMs("15s", 7u), 7u);
  EXPECT_EQ(ParseTimeoutMs("", 7u), 7u);
  EXPECT_EQ(ParseTimeoutMs(nullptr, 7u), 7u);
}

TEST(url_text_test, ftp_names_are_unescaped_strictly) {
  std::string out = "kept";
  ASSERT_TRUE(PercentDecode("/my%20song%2Ewav", &out));
  EXPECT_EQ(out, "/my song.wav");
  ASSERT_TRUE(PercentDecode("%e4%C4", &out));
  EXPECT_EQ(out, "\xE4\xC4");
  out = "kept";
  EXPECT_FALSE(PercentDecode("a%2", &out));
  EXPECT_FALSE(PercentDecode("a%zz", &out));
  EXPECT_FALSE(PercentDecode("a%00b", &out));
  EXPECT_EQ(out, "kept");
}

TEST(url_text_test, messages_hide_passwords) {
  EXPECT_EQ(RedactUrl("ftp://user:secret@h/a.wav"), "ftp://user:***@h/a.wav");
  EXPECT_EQ(RedactUrl("ftp://user@h/a.wav"), "ftp://user@h/a.wav");
  EXPECT_EQ(RedactUrl("http://h:8080/a@b:c.wav"), "http://h:8080/a@b:c.wav");
  EXPECT_EQ(RedactUrl("http://u:p@h"), "http://u:***@h");
  EXPECT_EQ(HttpStatusMessage(404, "Not Found\r\n", "http://u:p@h/a.wav"),
            "HTTP 404 Not Found for http://u:***@h/a.wav");
  EXPECT_EQ(HttpStatusMessage(500, "", "http://h/a"), "HTTP 500 for http://h/a");
}

}  // namespace
