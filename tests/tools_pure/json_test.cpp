#include "tools/host/json.h"

#include <gtest/gtest.h>

namespace host {
namespace {

TEST(json_test, document_is_indented_and_comma_separated) {
  JsonWriter w;
  w.BeginObject().Key("name").String("WAVE").Key("kinds").BeginArray().Int(3).Int(-4).EndArray();
  w.Key("empty").BeginArray().EndArray().Key("ok").Bool(true).Key("none").Null();
  w.Key("size").UInt(18446744073709551615u).Key("seconds").Number(0.1).EndObject();
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(w.str(),
            "{\n  \"name\": \"WAVE\",\n  \"kinds\": [\n    3,\n    -4\n  ],\n  \"empty\": [],\n"
            "  \"ok\": true,\n  \"none\": null,\n  \"size\": 18446744073709551615,\n"
            "  \"seconds\": 0.1\n}\n");
}

TEST(json_test, strings_are_escaped_and_always_valid_utf8) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"a\"b\\c", "a\\\"b\\\\c"},
      {"tab\tnl\ncr\r\x01\x1f", "tab\\tnl\\ncr\\r\\u0001\\u001f"},
      {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x8e\xb5", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x8e\xb5"},
      {"caf\xe9", "caf\xef\xbf\xbd"},                            // Latin-1, not UTF-8
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},                  // overlong
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate
      {"\xe6\x97", "\xef\xbf\xbd\xef\xbf\xbd"},                  // cut short
      {std::string("nul\0x", 5), "nul\\u0000x"},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonEscape(c.in), c.out) << c.in;
}

TEST(json_test, utf16_pairs_join_and_lone_halves_are_replaced) {
  const char16_t text[] = {u'a', 0xD83C, 0xDFB5, 0xDC00, u'\u00e9', 0xD800};
  EXPECT_EQ(Utf8FromUtf16(text, 6), "a\xf0\x9f\x8e\xb5\xef\xbf\xbd\xc3\xa9\xef\xbf\xbd");
  JsonWriter w;
  w.String(text, 1);
  EXPECT_EQ(w.str(), "\"a\"\n");
}

TEST(json_test, calls_out_of_shape_are_refused) {
  JsonWriter valueWithoutKey;
  valueWithoutKey.BeginObject().Int(1).EndObject();
  EXPECT_FALSE(valueWithoutKey.ok());
  JsonWriter unclosed;
  unclosed.BeginArray().Int(1);
  EXPECT_FALSE(unclosed.ok());
  JsonWriter wrongClose;
  wrongClose.BeginArray().EndObject();
  EXPECT_FALSE(wrongClose.ok());
  JsonWriter twoDocuments;
  twoDocuments.Int(1).Int(2);
  EXPECT_FALSE(twoDocuments.ok());
  EXPECT_EQ(twoDocuments.str(), "1\n");
  JsonWriter nan;
  nan.Number(0.0 / 0.0);
  EXPECT_EQ(nan.str(), "null\n");
}

}  // namespace
}  // namespace host
