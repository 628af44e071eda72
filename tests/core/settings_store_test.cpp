// The settings store against the real registry (Wine's under test), each test under a
// key of its own that is deleted afterwards.
#include "core/settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"

namespace tb {
namespace {

constexpr const char* kSection = "Tunebay";

class settings_store_test : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name1_ = std::string("TunebayStoreTest.") + info->name() + "." +
             std::to_string(GetCurrentProcessId());
    DeleteOwnKeys();
  }
  void TearDown() override { DeleteOwnKeys(); }

  void DeleteOwnKeys() { RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + name1_).c_str()); }

  // The key the manager's values live in: Software\<name1>\Host\Tunebay.
  std::string SectionPath() const { return "Software\\" + name1_ + "\\Host\\" + kSection; }

  bool KeyExists(const std::string& path) const {
    unique_hkey key;
    return RegOpenKeyA(HKEY_CURRENT_USER, path.c_str(), key.put()) == ERROR_SUCCESS;
  }

  // Stores raw bytes of any type, bypassing the store.
  void PutRaw(const char* value, DWORD type, const void* bytes, DWORD size) {
    unique_hkey key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, SectionPath().c_str(), key.put()), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), value, 0, type, static_cast<const BYTE*>(bytes), size),
              ERROR_SUCCESS);
  }

  DWORD RawType(const char* value) const {
    unique_hkey key;
    DWORD type = REG_NONE;
    if (RegOpenKeyA(HKEY_CURRENT_USER, SectionPath().c_str(), key.put()) != ERROR_SUCCESS ||
        RegQueryValueExA(key.get(), value, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
      return REG_NONE;
    }
    return type;
  }

  bool ReadDword(const char* value, std::int32_t* out) const {
    return ReadDwordSetting(name1_.c_str(), "Host", kSection, nullptr, value, out);
  }
  bool WriteDword(const char* value, std::int32_t number) const {
    return WriteDwordSetting(name1_.c_str(), "Host", kSection, nullptr, value, number);
  }
  std::string ReadText(const char* value) const {
    return ReadTextSetting(name1_.c_str(), "Host", kSection, nullptr, value);
  }
  bool WriteText(const char* value, const char* text) const {
    return WriteTextSetting(name1_.c_str(), "Host", kSection, nullptr, value, text);
  }

  std::string name1_;
};

TEST_F(settings_store_test, dword_round_trips_as_registry_number) {
  ASSERT_TRUE(WriteDword("ArtistTitleSource", -2));
  EXPECT_EQ(RawType("ArtistTitleSource"), static_cast<DWORD>(REG_DWORD));
  std::int32_t value = 0;
  EXPECT_TRUE(ReadDword("ArtistTitleSource", &value));
  EXPECT_EQ(value, -2);
  ASSERT_TRUE(WriteDword("ArtistTitleSource", 0x12345678));
  EXPECT_TRUE(ReadDword("ArtistTitleSource", &value));
  EXPECT_EQ(value, 0x12345678);
}

TEST_F(settings_store_test, dword_value_of_two_bytes_fills_low_end) {
  const BYTE two[] = {0x34, 0x12};
  PutRaw("ArtistTitleSource", REG_BINARY, two, sizeof two);
  std::int32_t value = static_cast<std::int32_t>(0xAABBCCDD);
  EXPECT_TRUE(ReadDword("ArtistTitleSource", &value));
  EXPECT_EQ(static_cast<std::uint32_t>(value), 0xAABB1234u);

  // The type is not looked at: a short text is copied byte for byte.
  PutRaw("ArtistTitle_FileNameFormat", REG_SZ, "ab", 3);
  value = -1;
  EXPECT_TRUE(ReadDword("ArtistTitle_FileNameFormat", &value));
  EXPECT_EQ(static_cast<std::uint32_t>(value), 0xFF006261u);
}

TEST_F(settings_store_test, dword_value_longer_than_four_bytes_fails_and_keeps_destination) {
  const BYTE five[] = {1, 2, 3, 4, 5};
  PutRaw("ArtistTitleSource", REG_BINARY, five, sizeof five);
  const ULONGLONG wide = 7;
  PutRaw("ArtistTitle_FileNameFormat", REG_QWORD, &wide, sizeof wide);
  std::int32_t value = 99;
  EXPECT_FALSE(ReadDword("ArtistTitleSource", &value));
  EXPECT_FALSE(ReadDword("ArtistTitle_FileNameFormat", &value));
  EXPECT_EQ(value, 99);
  EXPECT_FALSE(ReadDword("ArtistTitleSource", nullptr));
}

TEST_F(settings_store_test, reads_of_missing_key_fail_without_creating_it) {
  std::int32_t value = 5;
  EXPECT_FALSE(ReadDword("ArtistTitleSource", &value));
  EXPECT_EQ(value, 5);
  EXPECT_EQ(ReadText("SourceComponentOrder"), "");
  EXPECT_FALSE(KeyExists("Software\\" + name1_));
}

TEST_F(settings_store_test, missing_value_in_existing_key_reads_as_failure) {
  ASSERT_TRUE(WriteDword("Other", 1));
  std::int32_t value = 5;
  EXPECT_FALSE(ReadDword("ArtistTitleSource", &value));
  EXPECT_EQ(value, 5);
  EXPECT_EQ(ReadText("SourceComponentOrder"), "");
}

TEST_F(settings_store_test, writing_creates_every_missing_key_of_the_path) {
  ASSERT_FALSE(KeyExists("Software\\" + name1_));
  ASSERT_TRUE(WriteText("SourceComponentOrder", "a?b"));
  EXPECT_TRUE(KeyExists(SectionPath()));
  EXPECT_EQ(RawType("SourceComponentOrder"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(ReadText("SourceComponentOrder"), "a?b");

  // A fourth name adds one more level below the section.
  ASSERT_TRUE(WriteDwordSetting(name1_.c_str(), "Host", kSection, "Extra", "N", 3));
  EXPECT_TRUE(KeyExists(SectionPath() + "\\Extra"));
  std::int32_t value = 0;
  EXPECT_FALSE(ReadDword("N", &value));
  EXPECT_TRUE(ReadDwordSetting(name1_.c_str(), "Host", kSection, "Extra", "N", &value));
  EXPECT_EQ(value, 3);
}

TEST_F(settings_store_test, path_with_trailing_backslash_names_the_section_key) {
  ASSERT_TRUE(WriteDword("ArtistTitleSource", 2));
  // Read back through the path without the trailing backslash.
  unique_hkey key;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, SectionPath().c_str(), key.put()), ERROR_SUCCESS);
  DWORD value = 0;
  DWORD size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(key.get(), "ArtistTitleSource", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);
  // An empty fourth name is the same as an omitted one.
  std::int32_t read = 0;
  EXPECT_TRUE(ReadDwordSetting(name1_.c_str(), "Host", kSection, "", "ArtistTitleSource", &read));
  EXPECT_EQ(read, 2);
}

TEST_F(settings_store_test, text_of_999_characters_reads_whole_and_1000_reads_empty) {
  const std::string fits(kMaxTextSettingLength, 'k');
  ASSERT_TRUE(WriteText("SourceComponentOrder", fits.c_str()));
  EXPECT_EQ(ReadText("SourceComponentOrder"), fits);

  const std::string tooLong(kMaxTextSettingLength + 1, 'k');
  ASSERT_TRUE(WriteText("SourceComponentOrder", tooLong.c_str()));
  EXPECT_EQ(ReadText("SourceComponentOrder"), "");
}

TEST_F(settings_store_test, text_of_other_type_reads_empty) {
  PutRaw("Expand", REG_EXPAND_SZ, "a?b", 4);
  PutRaw("Multi", REG_MULTI_SZ, "a\0b\0", 5);
  PutRaw("Binary", REG_BINARY, "a?b", 4);
  const DWORD number = 0x00626161;
  PutRaw("Number", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(ReadText("Expand"), "");
  EXPECT_EQ(ReadText("Multi"), "");
  EXPECT_EQ(ReadText("Binary"), "");
  EXPECT_EQ(ReadText("Number"), "");
}

TEST_F(settings_store_test, unterminated_text_is_read_within_its_bytes) {
  PutRaw("Short", REG_SZ, "abc", 3);
  EXPECT_EQ(ReadText("Short"), "abc");

  const std::string fits(kMaxTextSettingLength, 'u');
  PutRaw("Fits", REG_SZ, fits.data(), static_cast<DWORD>(fits.size()));
  EXPECT_EQ(ReadText("Fits"), fits);

  // Exactly fills the buffer and leaves no room for the zero: too long to read.
  const std::string full(kTextSettingBufferSize, 'u');
  PutRaw("Full", REG_SZ, full.data(), static_cast<DWORD>(full.size()));
  EXPECT_EQ(ReadText("Full"), "");

  PutRaw("Embedded", REG_SZ, "ab\0cd", 6);
  EXPECT_EQ(ReadText("Embedded"), "ab");
}

TEST_F(settings_store_test, null_names_fail_without_touching_registry) {
  std::int32_t value = 4;
  const std::string n1 = name1_;
  EXPECT_FALSE(ReadDwordSetting(nullptr, "Host", kSection, nullptr, "V", &value));
  EXPECT_FALSE(WriteDwordSetting(n1.c_str(), nullptr, kSection, nullptr, "V", 1));
  EXPECT_FALSE(WriteDwordSetting(n1.c_str(), "Host", nullptr, nullptr, "V", 1));
  EXPECT_FALSE(WriteDwordSetting(n1.c_str(), "Host", kSection, nullptr, nullptr, 1));
  EXPECT_FALSE(WriteTextSetting(n1.c_str(), "Host", kSection, nullptr, nullptr, "x"));
  EXPECT_FALSE(WriteTextSetting(n1.c_str(), "Host", kSection, nullptr, "V", nullptr));
  EXPECT_EQ(ReadTextSetting(n1.c_str(), nullptr, kSection, nullptr, "V"), "");
  EXPECT_EQ(value, 4);
  EXPECT_FALSE(KeyExists("Software\\" + n1));
}

// Registry calls that pass through to the platform but can be made to fail, counting
// what was asked of them.
struct FakeRegistry {
  static inline int opens, creates, queries, sets;
  static inline bool failOpen, failCreate, failQuery, failSet;

  static void Reset() {
    opens = creates = queries = sets = 0;
    failOpen = failCreate = failQuery = failSet = false;
  }
  static LONG WINAPI Open(HKEY root, LPCSTR path, PHKEY key) {
    ++opens;
    return failOpen ? ERROR_FILE_NOT_FOUND : RegOpenKeyA(root, path, key);
  }
  static LONG WINAPI Create(HKEY root, LPCSTR path, PHKEY key) {
    ++creates;
    return failCreate ? ERROR_ACCESS_DENIED : RegCreateKeyA(root, path, key);
  }
  static LONG WINAPI Query(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                           LPDWORD size) {
    ++queries;
    return failQuery ? ERROR_ACCESS_DENIED
                     : RegQueryValueExA(key, name, reserved, type, data, size);
  }
  static LONG WINAPI Set(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                         DWORD size) {
    ++sets;
    return failSet ? ERROR_ACCESS_DENIED : RegSetValueExA(key, name, reserved, type, data, size);
  }
  static const RegistryCalls& Calls() {
    static const RegistryCalls calls = {&Open, &Create, &Query, &Set};
    return calls;
  }
};

TEST_F(settings_store_test, write_creates_key_only_when_open_fails_and_reports_failures) {
  FakeRegistry::Reset();
  const RegistryCalls& calls = FakeRegistry::Calls();
  const char* n1 = name1_.c_str();
  EXPECT_TRUE(WriteDwordSetting(calls, n1, "Host", kSection, nullptr, "V", 1));
  EXPECT_EQ(FakeRegistry::creates, 1);
  EXPECT_TRUE(WriteDwordSetting(calls, n1, "Host", kSection, nullptr, "V", 2));
  EXPECT_EQ(FakeRegistry::creates, 1);
  EXPECT_EQ(FakeRegistry::opens, 2);

  FakeRegistry::failSet = true;
  EXPECT_FALSE(WriteDwordSetting(calls, n1, "Host", kSection, nullptr, "V", 3));
  EXPECT_FALSE(WriteTextSetting(calls, n1, "Host", kSection, nullptr, "T", "x"));

  FakeRegistry::Reset();
  FakeRegistry::failOpen = FakeRegistry::failCreate = true;
  EXPECT_FALSE(WriteTextSetting(calls, n1, "Host", kSection, nullptr, "T", "x"));
  EXPECT_EQ(FakeRegistry::sets, 0);

  FakeRegistry::Reset();
  FakeRegistry::failQuery = true;
  std::int32_t value = 8;
  EXPECT_FALSE(ReadDwordSetting(calls, n1, "Host", kSection, nullptr, "V", &value));
  EXPECT_EQ(value, 8);
  EXPECT_EQ(ReadTextSetting(calls, n1, "Host", kSection, nullptr, "T"), "");

  FakeRegistry::Reset();
  EXPECT_FALSE(ReadDwordSetting(calls, n1, "Host", kSection, nullptr, nullptr, &value));
  EXPECT_EQ(FakeRegistry::opens + FakeRegistry::creates, 0);
  std::int32_t stored = 0;
  EXPECT_TRUE(ReadDwordSetting(n1, "Host", kSection, nullptr, "V", &stored));
  EXPECT_EQ(stored, 2);
}

// A closed handle's slot is handed out again by the next open, so a key left open
// anywhere in between shows as a different handle value for the same probe.
HKEY ProbeHandleSlot() {
  unique_hkey probe;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Software", probe.put()) != ERROR_SUCCESS) return nullptr;
  return probe.get();
}

TEST_F(settings_store_test, every_path_closes_its_key) {
  const HKEY slot = ProbeHandleSlot();
  ASSERT_NE(slot, nullptr);
  {
    // The probe must notice a key that stays open, or it proves nothing.
    unique_hkey leaked;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", leaked.put()), ERROR_SUCCESS);
    if (ProbeHandleSlot() == slot) GTEST_SKIP() << "handle slots are not reused here";
  }
  ASSERT_EQ(ProbeHandleSlot(), slot);

  std::int32_t value = 0;
  const BYTE five[] = {1, 2, 3, 4, 5};
  PutRaw("Long", REG_BINARY, five, sizeof five);
  ASSERT_EQ(ProbeHandleSlot(), slot);
  const auto expectClosed = [&](const char* what) {
    EXPECT_EQ(ProbeHandleSlot(), slot) << what << " left a key open";
  };
  WriteDword("V", 1);
  expectClosed("dword write creating the key");
  WriteDword("V", 2);
  expectClosed("dword write");
  ReadDword("V", &value);
  expectClosed("dword read");
  ReadDword("Missing", &value);
  expectClosed("dword read of missing value");
  ReadDword("Long", &value);
  expectClosed("dword read of long value");
  WriteText("T", "text");
  expectClosed("text write");
  ReadText("T");
  expectClosed("text read");
  ReadText("V");
  expectClosed("text read of wrong type");
  ReadText("Missing");
  expectClosed("text read of missing value");
  FakeRegistry::Reset();
  FakeRegistry::failSet = true;
  WriteDwordSetting(FakeRegistry::Calls(), name1_.c_str(), "Host", kSection, nullptr, "V", 1);
  expectClosed("failed dword write");
  WriteTextSetting(FakeRegistry::Calls(), name1_.c_str(), "Host", kSection, nullptr, "T", "x");
  expectClosed("failed text write");
  FakeRegistry::Reset();
  FakeRegistry::failQuery = true;
  ReadDwordSetting(FakeRegistry::Calls(), name1_.c_str(), "Host", kSection, nullptr, "V", &value);
  expectClosed("failed dword read");
  ReadTextSetting(FakeRegistry::Calls(), name1_.c_str(), "Host", kSection, nullptr, "T");
  expectClosed("failed text read");
}

}  // namespace
}  // namespace tb
