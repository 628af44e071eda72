// OpenSource: name classification, the existence probe, the decoders in two passes,
// masks, the pending error and the final verdict, faults inside Open, URLs through the
// downloaders, and the wrap on request.
#include "sources/source_resolution.h"

#include <string>
#include <vector>

#include "sources/proxy_fixture.h"
#include "support/test_thread.h"

namespace source_fakes {
namespace {

using tbtest::ReleaseLast;

IUnknown* const kUntouched = reinterpret_cast<IUnknown*>(0x5151);

class source_resolution_test : public ManagerFixture {
 protected:
  void SetUp() override {
    ManagerFixture::SetUp();
    ASSERT_TRUE(folder.Write("song.mp3", "audio"));
    ASSERT_TRUE(folder.Write("noext", "audio"));
    song = folder.path() + "\\song.mp3";
  }

  FakeDecoder* Decoder(const std::string& name, std::vector<std::string> extensions, OpenMode open,
                       uint32_t errorCode = 0x80000007) {
    DecoderConfig config;
    config.name = name;
    config.extensions = std::move(extensions);
    config.open = open;
    config.errorCode = errorCode;
    return Decoder(config);
  }
  FakeDecoder* Decoder(const DecoderConfig& config) {
    return Add(new FakeDecoder(config, &calls, &sourceLog));
  }

  // Opens `name` without a proxy; `error` receives what the call reported.
  bool Open(const std::string& name, int32_t pass, IUnknown** source, tb::IError** error,
            uint32_t required = 0, uint32_t excluded = 0) {
    return manager->OpenSource(name.c_str(), nullptr, source, pass, required, excluded, error);
  }

  // The code of the reported error, releasing it; 0 when none was reported.
  static uint32_t TakeCode(tb::IError* error) {
    if (!error) return 0;
    uint32_t code = error->GetCode();
    EXPECT_TRUE(ReleaseLast(error));
    return code;
  }

  tbtest::TempFolder folder;
  std::string song;
  std::vector<std::string> calls;
  SourceLog sourceLog;
};

using Calls = std::vector<std::string>;

TEST_F(source_resolution_test, names_of_no_known_kind_fail_with_bad_path_name) {
  Decoder("any", {"mp3"}, OpenMode::kSucceed);
  for (const char* name : {"", "C:\\", "C:/music/song.mp3", "song.mp3", "\\\\", "http://", "ftp://",
                           "file://C:/song.mp3"}) {
    SCOPED_TRACE(name);
    IUnknown* source = kUntouched;
    tb::IError* error = nullptr;
    EXPECT_FALSE(Open(name, -1, &source, &error));
    EXPECT_EQ(TakeCode(error), tb::result::BadPathName);
    EXPECT_EQ(source, kUntouched);
  }
  IUnknown* source = kUntouched;
  tb::IError* error = nullptr;
  EXPECT_FALSE(manager->OpenSource(nullptr, nullptr, &source, -1, 0, 0, &error));
  EXPECT_EQ(TakeCode(error), tb::result::BadPathName);
  EXPECT_FALSE(manager->OpenSource(song.c_str(), nullptr, nullptr, -1, 0, 0, &error));
  EXPECT_EQ(TakeCode(error), tb::result::InvalidParameter);
  EXPECT_TRUE(calls.empty());
}

TEST_F(source_resolution_test, missing_file_reports_its_system_error) {
  Decoder("any", {"mp3"}, OpenMode::kSucceed);
  IUnknown* source = kUntouched;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open(folder.path() + "\\absent.mp3", -1, &source, &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetSystemError(), 2u);
  EXPECT_EQ(error->GetCode(), 0u);
  EXPECT_TRUE(ReleaseLast(error));
  EXPECT_EQ(source, kUntouched);
  EXPECT_TRUE(calls.empty());
}

TEST_F(source_resolution_test, a_file_that_cannot_be_probed_still_reaches_the_decoders) {
  Decoder("any", {"mp3"}, OpenMode::kSucceed);
  tb::FileProbe previous = tb::SetFileProbe([](const char*) -> unsigned long { return 5; });
  IUnknown* source = nullptr;
  EXPECT_TRUE(Open(folder.path() + "\\locked.mp3", -1, &source, nullptr));
  tb::SetFileProbe(previous);
  EXPECT_EQ(calls, Calls({"any"}));
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(ReleaseLast(source));
}

TEST_F(source_resolution_test, listing_decoders_go_first_then_the_others) {
  Decoder("a", {"wav", "mp3"}, OpenMode::kFail);
  Decoder("b", {"wav"}, OpenMode::kFail);
  Decoder("c", {"MP3"}, OpenMode::kFail);
  Decoder("d", {"ogg"}, OpenMode::kSucceed);

  IUnknown* source = kUntouched;
  EXPECT_TRUE(Open(song, -1, &source, nullptr));
  EXPECT_EQ(calls, Calls({"a", "c", "b", "d"}));
  ASSERT_NE(source, kUntouched);
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(ReleaseLast(source));

  calls.clear();
  source = kUntouched;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open(song, 0, &source, &error));
  EXPECT_EQ(calls, Calls({"a", "c"}));
  EXPECT_EQ(source, nullptr);  // the end of a search empties the slot
  EXPECT_EQ(TakeCode(error), 0x80000007u);

  calls.clear();
  EXPECT_TRUE(Open(song, 1, &source, nullptr));
  EXPECT_EQ(calls, Calls({"b", "d"}));
  EXPECT_TRUE(ReleaseLast(source));

  // A name without an extension matches nobody: pass 0 is empty, pass 1 tries all.
  calls.clear();
  EXPECT_TRUE(Open(folder.path() + "\\noext", -1, &source, nullptr));
  EXPECT_EQ(calls, Calls({"a", "b", "c", "d"}));
  EXPECT_TRUE(ReleaseLast(source));
}

TEST_F(source_resolution_test, the_last_listing_decoders_error_is_reported) {
  Decoder("a", {"mp3"}, OpenMode::kFail, 0x80000011);
  Decoder("other", {"wav"}, OpenMode::kFail, 0x80000012);
  Decoder("b", {"mp3"}, OpenMode::kFail, 0x80000009);
  Decoder("silent", {"mp3"}, OpenMode::kFailNoError);
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open(song, -1, &source, &error));
  EXPECT_EQ(calls.size(), 4u);
  EXPECT_EQ(TakeCode(error), 0x80000009u);

  // Only a non-listing decoder's error: never reported, FileInvalid instead.
  calls.clear();
  EXPECT_FALSE(Open(song, 1, &source, &error));
  EXPECT_EQ(calls, Calls({"other"}));
  EXPECT_EQ(TakeCode(error), tb::result::FileInvalid);
}

TEST_F(source_resolution_test, a_final_verdict_ends_the_search_only_for_a_caller_who_asks) {
  Decoder("final", {"mp3"}, OpenMode::kFailFinal, 0x80000008);
  Decoder("next", {"mp3"}, OpenMode::kSucceed);
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open(song, -1, &source, &error));
  EXPECT_EQ(calls, Calls({"final"}));
  EXPECT_EQ(TakeCode(error), 0x80000008u);

  calls.clear();
  EXPECT_TRUE(Open(song, -1, &source, nullptr));
  EXPECT_EQ(calls, Calls({"final", "next"}));
  EXPECT_TRUE(ReleaseLast(source));
}

TEST_F(source_resolution_test, faults_inside_open_count_as_failures) {
  Decoder("throws", {"mp3"}, OpenMode::kThrow);
  Decoder("faults", {"mp3"}, OpenMode::kFault);
  // Stores an error with a final verdict, then throws: the verdict is not asked, but
  // the error is still the pending one.
  Decoder("half", {"mp3"}, OpenMode::kErrorThenThrow, 0x80000010);
  Decoder("quiet", {"mp3"}, OpenMode::kFailNoError);
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open(song, -1, &source, &error));
  EXPECT_EQ(calls, Calls({"throws", "faults", "half", "quiet"}));
  EXPECT_EQ(TakeCode(error), 0x80000010u);
}

TEST_F(source_resolution_test, decoders_are_filtered_by_capability_and_masks) {
  DecoderConfig config;
  config.extensions = {"mp3"};
  config.open = OpenMode::kSucceed;
  config.name = "incapable";
  config.capabilities = 0;
  Decoder(config);
  config.capabilities = tb::kCapabilityOpensSources;
  config.name = "no-opener";
  config.opener = false;
  Decoder(config);
  config.opener = true;
  config.name = "no-list";
  config.extensionList = false;
  Decoder(config);
  config.extensionList = true;
  config.name = "plain";
  config.features = 0x2;
  Decoder(config);
  config.name = "wrappable";
  config.features = tb::kOpenWithProxy | 0x4;
  Decoder(config);

  IUnknown* source = nullptr;
  EXPECT_TRUE(Open(song, -1, &source, nullptr, tb::kOpenWithProxy));
  EXPECT_EQ(calls, Calls({"wrappable"}));
  EXPECT_TRUE(ReleaseLast(source));

  calls.clear();
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open(song, -1, &source, &error, 0, 0x4 | 0x2));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(TakeCode(error), tb::result::FileInvalid);

  EXPECT_TRUE(Open(song, -1, &source, nullptr, 0, 0x4));
  EXPECT_EQ(calls, Calls({"plain"}));
  EXPECT_TRUE(ReleaseLast(source));
}

TEST_F(source_resolution_test, success_without_a_source_is_not_success) {
  Decoder("liar", {"mp3"}, OpenMode::kTrueWithoutSource);
  Decoder("honest", {"mp3"}, OpenMode::kSucceed);
  IUnknown* source = nullptr;
  EXPECT_TRUE(Open(song, -1, &source, nullptr));
  EXPECT_EQ(calls, Calls({"liar", "honest"}));
  ASSERT_NE(source, nullptr);
  EXPECT_TRUE(ReleaseLast(source));
}

TEST_F(source_resolution_test, wraps_on_request_and_keeps_the_source_when_it_cannot) {
  DecoderConfig config;
  config.name = "proxied";
  config.extensions = {"mp3"};
  config.open = OpenMode::kSucceed;
  config.source.tag = true;
  config.source.title = "T";
  Decoder(config);
  IUnknown* source = nullptr;
  const tb::AudioFormat format = {44100, 16, 2};
  ASSERT_TRUE(
      manager->OpenSource(song.c_str(), &format, &source, -1, tb::kOpenWithProxy, 0, nullptr));
  EXPECT_EQ(tb::LiveProxyCount(), 1);
  tb::IOriginalFormat* original = Query<tb::IOriginalFormat>(source);
  ASSERT_NE(original, nullptr);  // only proxies answer it
  original->Release();
  EXPECT_TRUE(ReleaseLast(source));
  EXPECT_EQ(tb::LiveProxyCount(), 0);
  EXPECT_TRUE(sourceLog.destroyed);

  // A source without a position interface cannot be wrapped: false, no error, and the
  // decoder's object stays in the slot for the caller to release.
  config.name = "unwrappable";
  config.extensions = {"wav"};
  config.source.position = false;
  Decoder(config);
  tb::IError* error = nullptr;
  source = nullptr;
  ASSERT_TRUE(folder.Write("clip.wav", "audio"));
  EXPECT_FALSE(manager->OpenSource((folder.path() + "\\clip.wav").c_str(), &format, &source, 0,
                                   tb::kOpenWithProxy, 0, &error));
  EXPECT_EQ(error, nullptr);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(Query<tb::IOriginalFormat>(source), nullptr);
  EXPECT_TRUE(ReleaseLast(source));

  // A requested format that describes no audio is refused before any decoder runs.
  calls.clear();
  const tb::AudioFormat silent = {44100, 0, 2};
  source = kUntouched;
  EXPECT_FALSE(
      manager->OpenSource(song.c_str(), &silent, &source, -1, tb::kOpenWithProxy, 0, &error));
  EXPECT_EQ(TakeCode(error), tb::result::InvalidParameter);
  EXPECT_EQ(source, kUntouched);
  EXPECT_TRUE(calls.empty());
}

TEST_F(source_resolution_test, urls_resolve_the_downloaders_local_copy) {
  tbtest::TempFolder downloads;
  DownloaderConfig config;
  config.from = song;
  config.to = downloads.path() + "\\fetched.mp3";
  Add(new FakeDownloader(config, &calls));
  FakeDecoder* decoder = Decoder("mp3", {"mp3"}, OpenMode::kSucceed);

  IUnknown* source = nullptr;
  EXPECT_TRUE(Open("HTTP://example.com/song.mp3", -1, &source, nullptr));
  EXPECT_EQ(calls, Calls({"download HTTP://example.com/song.mp3", "mp3"}));
  EXPECT_EQ(decoder->openedName, config.to);
  EXPECT_TRUE(ReleaseLast(source));

  // An ftp URL needs a downloader with the ftp bit.
  calls.clear();
  tb::IError* error = nullptr;
  source = kUntouched;
  EXPECT_FALSE(Open("ftp://example.com/song.mp3", -1, &source, &error));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(TakeCode(error), tb::result::FileInvalid);
}

TEST_F(source_resolution_test, a_failing_downloaders_own_error_is_dropped) {
  DownloaderConfig config;
  config.result = false;
  config.reportsError = true;
  Decoder("mp3", {"mp3"}, OpenMode::kSucceed);
  Add(new FakeDownloader(config, &calls));
  IUnknown* source = kUntouched;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open("http://example.com/song.mp3", -1, &source, &error));
  EXPECT_EQ(TakeCode(error), tb::result::FileInvalid);
  EXPECT_EQ(source, nullptr);
  EXPECT_EQ(calls, Calls({"download http://example.com/song.mp3"}));
}

TEST_F(source_resolution_test, an_unterminated_local_path_is_cut_at_the_buffer) {
  DownloaderConfig config;
  config.unterminated = true;  // 300 bytes of "x" and no terminator
  Decoder("mp3", {"mp3"}, OpenMode::kSucceed);
  Add(new FakeDownloader(config, &calls));
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open("http://example.com/song.mp3", -1, &source, &error));
  EXPECT_EQ(TakeCode(error), tb::result::BadPathName);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(source_resolution_test, a_local_copy_that_is_another_url_is_not_fetched_again) {
  DownloaderConfig config;
  config.answer = "http://example.com/again.mp3";
  Decoder("mp3", {"mp3"}, OpenMode::kSucceed);
  Add(new FakeDownloader(config, &calls));
  IUnknown* source = nullptr;
  tb::IError* error = nullptr;
  EXPECT_FALSE(Open("http://example.com/song.mp3", -1, &source, &error));
  EXPECT_EQ(TakeCode(error), tb::result::BadPathName);
  EXPECT_EQ(calls, Calls({"download http://example.com/song.mp3"}));
}

}  // namespace
}  // namespace source_fakes

namespace source_fakes {
namespace {

TEST_F(source_resolution_test, each_decoder_asked_is_remembered_with_its_answer) {
  Decoder("lists", {"mp3"}, OpenMode::kFail, 0x80000011);
  Decoder("faults", {"mp3"}, OpenMode::kFault);
  Decoder("quiet", {"wav"}, OpenMode::kFailNoError);
  Decoder("opens", {"wav"}, OpenMode::kSucceed);
  IUnknown* source = nullptr;
  ASSERT_TRUE(Open(song, -1, &source, nullptr));
  EXPECT_TRUE(ReleaseLast(source));

  tb::com_ptr<tb::IPluginDiagnostics> diagnostics =
      tb::com_ptr<tb::IManager>(manager).query<tb::IPluginDiagnostics>();
  ASSERT_TRUE(diagnostics);
  const struct {
    const char* name;
    int32_t pass;
    int32_t answer;
    uint32_t fault;
  } expected[] = {
      {"lists", 0, tb::kOpenError, 0},
      {"faults", 0, tb::kOpenFault, 0xC0000005},
      {"quiet", 1, tb::kOpenDeclined, 0},
      {"opens", 1, tb::kOpenOpened, 0},
  };
  ASSERT_EQ(diagnostics->GetOpenAttemptCount(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    tb::OpenAttempt attempt{};
    ASSERT_TRUE(diagnostics->GetOpenAttempt(i, &attempt));
    EXPECT_STREQ(attempt.component, expected[i].name);
    EXPECT_EQ(attempt.pass, expected[i].pass) << i;
    EXPECT_EQ(attempt.answer, expected[i].answer) << i;
    EXPECT_EQ(attempt.faultCode, expected[i].fault) << i;
    EXPECT_EQ(attempt.detail[0] != '\0', expected[i].answer == tb::kOpenError) << i;
  }
  tb::OpenAttempt untouched{};
  untouched.pass = 77;
  EXPECT_FALSE(diagnostics->GetOpenAttempt(4, &untouched));
  EXPECT_EQ(untouched.pass, 77);

  // Another thread's search is its own: a missing file asks nobody there, and this
  // thread's record stays.
  int32_t otherCount = -1;
  tbtest::Thread other([&] {
    IUnknown* none = nullptr;
    EXPECT_FALSE(Open(folder.path() + "\\missing.mp3", -1, &none, nullptr));
    otherCount = diagnostics->GetOpenAttemptCount();
  });
  other.join();
  EXPECT_EQ(otherCount, 0);
  EXPECT_EQ(diagnostics->GetOpenAttemptCount(), 4);
}

}  // namespace
}  // namespace source_fakes
