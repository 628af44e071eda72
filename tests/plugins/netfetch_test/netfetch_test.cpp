// zqnetfetch.dll as the manager drives it: loaded from the bundled plug-in folder,
// its primary object asked for IDownloader, downloads from the servers that
// run_with_servers.sh starts on 127.0.0.1. Each test points the temporary folder at a
// folder of its own, so "nothing left behind" means that folder is empty.
#include <base/com.h>
#include <dll/assembly.h>
#include <tunebay/tunebay.h>
#include <windows.h>

#include <wininet.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/test_support.h"

namespace {

using tb::com_ptr;
using tb::IComponent;
using tb::IDownloader;
using tb::IError;

struct Library {
  HMODULE module = nullptr;
  tb::GetPrimaryAudioObjectFn getPrimary = nullptr;
  tb::ReadyToFinishFn readyToFinish = nullptr;
};

// Loaded once and never freed: a failed case may leave an object behind, and freeing
// the code under it would turn one failure into a crash.
const Library& Plugin() {
  static Library library = [] {
    Library lib;
    lib.module = LoadLibraryA((tbtest::ExeFolder() + "plugins\\zqnetfetch.dll").c_str());
    if (lib.module) {
      lib.getPrimary = reinterpret_cast<tb::GetPrimaryAudioObjectFn>(
          reinterpret_cast<void*>(GetProcAddress(lib.module, TB_ENTRY_GET_PRIMARY_AUDIO_OBJECT)));
      lib.readyToFinish = reinterpret_cast<tb::ReadyToFinishFn>(
          reinterpret_cast<void*>(GetProcAddress(lib.module, TB_ENTRY_READY_TO_FINISH)));
    }
    return lib;
  }();
  return library;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Files only: a test's own temporary folders may sit beside the downloads.
int FilesIn(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return count;
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         lstrcmpiA(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

::testing::AssertionResult IsError(IError* error, uint32_t code, const std::string& fragment) {
  if (!error) return ::testing::AssertionFailure() << "no error object";
  std::string message = error->GetMessage();
  if (error->GetCode() != code) {
    return ::testing::AssertionFailure() << "code 0x" << std::hex << error->GetCode()
                                         << ", expected 0x" << code << " (" << message << ")";
  }
  if (message.find(fragment) == std::string::npos) {
    return ::testing::AssertionFailure()
           << "message \"" << message << "\" lacks \"" << fragment << "\"";
  }
  return ::testing::AssertionSuccess();
}

class netfetch_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Plugin().module) << "zqnetfetch.dll not found beside the test in plugins\\";
    ASSERT_TRUE(Plugin().getPrimary && Plugin().readyToFinish) << "entry points missing";
    SaveEnv("TMP", &savedTmp_);
    SaveEnv("TEMP", &savedTemp_);
    UseTempFolder(temp_.path());
    ASSERT_TRUE(Plugin().getPrimary(component_.put()));
    ASSERT_TRUE(component_);
    downloader_ = component_.query<IDownloader>();
    ASSERT_TRUE(downloader_);
  }

  void TearDown() override {
    downloader_.reset();
    if (component_) {
      component_->Shutdown();
      EXPECT_TRUE(tbtest::ReleaseLast(component_.detach()));
    }
    EXPECT_TRUE(Plugin().readyToFinish()) << "an object of the library is still alive";
    RestoreEnv("TMP", savedTmp_);
    RestoreEnv("TEMP", savedTemp_);
    SetEnvironmentVariableA("TUNEBAY_NETFETCH_TIMEOUT_MS", nullptr);
    SetEnvironmentVariableA("TUNEBAY_NETFETCH_MAX_BYTES", nullptr);
  }

  // The downloader reads the temporary folder from the environment at every call.
  static void UseTempFolder(const std::string& folder) {
    SetEnvironmentVariableA("TMP", folder.c_str());
    SetEnvironmentVariableA("TEMP", folder.c_str());
  }

  static std::string Url(const char* scheme, const char* portVariable, const char* path) {
    std::string port = Env(portVariable);
    if (port.empty()) {
      ADD_FAILURE() << portVariable << " is not set: run the test through run_with_servers.sh";
      port = "1";
    }
    return std::string(scheme) + "://127.0.0.1:" + port + "/" + path;
  }
  static std::string HttpUrl(const char* path) {
    return Url("http", "TB_NETFETCH_HTTP_PORT", path);
  }
  static std::string Served(const char* name) { return Env("TB_NETFETCH_ROOT") + "\\" + name; }

  // Download with a prefilled buffer, so that a failure that leaves junk in it shows.
  bool Download(const std::string& url, std::string* local, com_ptr<IError>* error) {
    char buffer[tb::kLocalPathSize];
    memset(buffer, 'x', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    bool ok = downloader_->Download(url.c_str(), buffer, 0, error ? error->put() : nullptr);
    *local = buffer;
    return ok;
  }

  tbtest::TempFolder temp_;
  com_ptr<IComponent> component_;
  com_ptr<IDownloader> downloader_;

 private:
  static void SaveEnv(const char* name, std::string* value) {
    char text[MAX_PATH * 2];
    DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    *value = n > 0 && n < sizeof text ? std::string(text, n) : std::string();
  }
  static void RestoreEnv(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
  }

  std::string savedTmp_;
  std::string savedTemp_;
};

TEST_F(netfetch_test, component_answers_as_a_downloader) {
  EXPECT_EQ(component_->GetKind(), tb::kKindDownloader);
  EXPECT_STRNE(component_->GetName(), "");
  EXPECT_TRUE(component_->Setup(nullptr, nullptr));
  EXPECT_EQ(downloader_->GetProtocols(), tb::kProtocolHttp | tb::kProtocolFtp);

  com_ptr<tb::IComponentAbout> about = component_.query<tb::IComponentAbout>();
  ASSERT_TRUE(about);
  EXPECT_STRNE(about->GetVendor(), "");
  EXPECT_FALSE(about->HasAboutBox());

  // One identity: IID_IUnknown gives the component table from any table.
  com_ptr<IUnknown> unknown;
  ASSERT_EQ(downloader_->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(component_.get()));

  void* none = &none;
  EXPECT_EQ(component_->QueryInterface(tb::iid_of<tb::ISourceOpener>(), &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(component_->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);

  // component_, downloader_, about and unknown: one count for all tables.
  EXPECT_TRUE(tbtest::ExpectRefCount(component_.get(), 4));
}

TEST_F(netfetch_test, ready_to_finish_only_when_nothing_beyond_the_managers_reference_lives) {
  // The manager holds one reference to the component while it asks; an interface
  // queried from it is one more.
  EXPECT_FALSE(Plugin().readyToFinish());
  downloader_.reset();
  EXPECT_TRUE(Plugin().readyToFinish());

  com_ptr<IDownloader> downloader = component_.query<IDownloader>();
  char buffer[tb::kLocalPathSize];
  IError* error = nullptr;
  EXPECT_FALSE(downloader->Download(nullptr, buffer, 0, &error));
  ASSERT_NE(error, nullptr);
  downloader.reset();
  EXPECT_FALSE(Plugin().readyToFinish()) << "a live error object must keep the library";
  EXPECT_TRUE(tbtest::ReleaseLast(error));
  EXPECT_TRUE(Plugin().readyToFinish());

  com_ptr<IComponent> second;
  ASSERT_TRUE(Plugin().getPrimary(second.put()));
  EXPECT_NE(second.get(), component_.get());
  EXPECT_TRUE(Plugin().readyToFinish());
  EXPECT_TRUE(tbtest::ReleaseLast(second.detach()));
}

TEST_F(netfetch_test, http_download_is_an_identical_copy_keeping_the_extension) {
  std::string expected = ReadFile(Served("tone.wav"));
  ASSERT_GT(expected.size(), 300000u) << "served file not readable: " << Served("tone.wav");

  std::string local;
  com_ptr<IError> error;
  ASSERT_TRUE(Download(HttpUrl("tone.wav"), &local, &error)) << error->GetMessage();
  EXPECT_FALSE(error);
  EXPECT_LT(local.size(), size_t(tb::kLocalPathSize));
  EXPECT_EQ(local.compare(0, temp_.path().size(), temp_.path()), 0) << local;
  EXPECT_TRUE(EndsWithNoCase(local, ".wav")) << local;
  EXPECT_TRUE(ReadFile(local) == expected) << "content differs";

  // A query does not change the type; every download gets a file of its own.
  std::string again;
  ASSERT_TRUE(Download(HttpUrl("tone.wav?take=2"), &again, nullptr));
  EXPECT_TRUE(EndsWithNoCase(again, ".wav")) << again;
  EXPECT_NE(again, local);

  std::string plain;
  ASSERT_TRUE(Download(HttpUrl("plain"), &plain, nullptr));
  EXPECT_EQ(ReadFile(plain), "no extension here\n");

  std::string empty;
  ASSERT_TRUE(Download(HttpUrl("empty.wav"), &empty, nullptr));
  EXPECT_TRUE(Exists(empty));
  EXPECT_EQ(ReadFile(empty), "");

  // Only the four copies, no reservations left over; Shutdown takes them away.
  EXPECT_EQ(FilesIn(temp_.path()), 4);
  component_->Shutdown();
  EXPECT_EQ(FilesIn(temp_.path()), 0);
}

TEST_F(netfetch_test, http_status_other_than_2xx_is_an_error_naming_it) {
  std::string url = HttpUrl("missing.wav");
  std::string local;
  com_ptr<IError> error;
  EXPECT_FALSE(Download(url, &local, &error));
  EXPECT_TRUE(IsError(error.get(), tb::result::FileNotFound, "HTTP 404"));
  EXPECT_TRUE(IsError(error.get(), tb::result::FileNotFound, url));
  EXPECT_EQ(error->GetSystemError(), 0u);
  EXPECT_EQ(local, "");
  EXPECT_EQ(FilesIn(temp_.path()), 0);
  EXPECT_TRUE(tbtest::ReleaseLast(error.detach()));
}

TEST_F(netfetch_test, refused_connection_is_an_error_with_the_wininet_number) {
  std::string url = Url("http", "TB_NETFETCH_REFUSED_PORT", "tone.wav");
  std::string local;
  com_ptr<IError> error;
  EXPECT_FALSE(Download(url, &local, &error));
  ASSERT_TRUE(IsError(error.get(), tb::result::OpenFailed, url));
  EXPECT_EQ(error->GetSystemError(), DWORD(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_TRUE(IsError(error.get(), tb::result::OpenFailed, "12029"));
  // A readable text between the URL and the number.
  EXPECT_GT(std::string(error->GetMessage()).size(), url.size() + 30) << error->GetMessage();
  EXPECT_EQ(local, "");
  EXPECT_EQ(FilesIn(temp_.path()), 0);
}

// A server that accepts and never answers: over http WinINet's own receive timeout
// ends the wait (Windows reports it as a time-out, Wine as an aborted connection); an
// ftp login waits for a greeting that WinINet does not time, and the plug-in's
// watchdog ends it.
TEST_F(netfetch_test, silent_server_times_out_within_the_configured_time) {
  SetEnvironmentVariableA("TUNEBAY_NETFETCH_TIMEOUT_MS", "1000");
  for (const char* scheme : {"http", "ftp"}) {
    SCOPED_TRACE(scheme);
    std::string url = Url(scheme, "TB_NETFETCH_SILENT_PORT", "tone.wav");
    std::string local;
    com_ptr<IError> error;
    DWORD start = GetTickCount();
    EXPECT_FALSE(Download(url, &local, &error));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 10000u);
    ASSERT_TRUE(IsError(error.get(), tb::result::OpenFailed, url));
    DWORD number = error->GetSystemError();
    EXPECT_TRUE(number == ERROR_INTERNET_TIMEOUT || number == ERROR_INTERNET_CONNECTION_ABORTED)
        << error->GetMessage();
    EXPECT_EQ(FilesIn(temp_.path()), 0);
  }
}

TEST_F(netfetch_test, body_shorter_than_announced_is_an_error_not_a_copy) {
  std::string url = Url("http", "TB_NETFETCH_TRUNCATED_PORT", "cut.wav");
  std::string local;
  com_ptr<IError> error;
  EXPECT_FALSE(Download(url, &local, &error));
  EXPECT_TRUE(IsError(error.get(), tb::result::ReadFault, "1000 of 100000"));
  EXPECT_EQ(local, "");
  EXPECT_EQ(FilesIn(temp_.path()), 0);
}

TEST_F(netfetch_test, redirections_are_followed_ten_times_and_no_more) {
  std::string local;
  ASSERT_TRUE(Download(Url("http", "TB_NETFETCH_HOSTILE_PORT", "chain/9"), &local, nullptr));
  EXPECT_TRUE(ReadFile(local) == ReadFile(Served("tone.wav"))) << "content differs";
  EXPECT_TRUE(DeleteFileA(local.c_str()));
  for (const char* path : {"chain/10", "loop-a"}) {
    SCOPED_TRACE(path);
    com_ptr<IError> error;
    EXPECT_FALSE(Download(Url("http", "TB_NETFETCH_HOSTILE_PORT", path), &local, &error));
    EXPECT_TRUE(IsError(error.get(), tb::result::OpenFailed, "redirected more than 10 times"));
    EXPECT_EQ(local, "");
  }
  EXPECT_EQ(FilesIn(temp_.path()), 0);
}

TEST_F(netfetch_test, a_file_beyond_the_size_limit_is_refused_and_leaves_nothing) {
  // An endless body ends at the limit the host set; an announced size beyond it is
  // refused before anything is written.
  SetEnvironmentVariableA("TUNEBAY_NETFETCH_MAX_BYTES", "1000000");
  for (const char* path : {"endless.wav", "huge.wav"}) {
    SCOPED_TRACE(path);
    std::string local;
    com_ptr<IError> error;
    EXPECT_FALSE(Download(Url("http", "TB_NETFETCH_HOSTILE_PORT", path), &local, &error));
    EXPECT_TRUE(IsError(error.get(), tb::result::ReadFault, "larger than the limit of 1000000"));
    EXPECT_EQ(local, "");
    EXPECT_EQ(FilesIn(temp_.path()), 0);
  }
}

TEST_F(netfetch_test, ftp_download_is_an_identical_copy_keeping_the_extension) {
  std::string expected = ReadFile(Served("tone.wav"));
  ASSERT_FALSE(expected.empty());
  std::string local;
  com_ptr<IError> error;
  ASSERT_TRUE(Download(Url("ftp", "TB_NETFETCH_FTP_PORT", "tone.wav"), &local, &error))
      << error->GetMessage();
  EXPECT_TRUE(EndsWithNoCase(local, ".wav")) << local;
  EXPECT_TRUE(ReadFile(local) == expected) << "content differs";
  EXPECT_EQ(FilesIn(temp_.path()), 1);
}

TEST_F(netfetch_test, ftp_missing_file_is_an_error_and_leaves_nothing) {
  std::string url = Url("ftp", "TB_NETFETCH_FTP_PORT", "missing.wav");
  std::string local;
  com_ptr<IError> error;
  EXPECT_FALSE(Download(url, &local, &error));
  ASSERT_TRUE(IsError(error.get(), tb::result::OpenFailed, url));
  EXPECT_NE(error->GetSystemError(), 0u);
  EXPECT_EQ(local, "");
  EXPECT_EQ(FilesIn(temp_.path()), 0);
}

TEST_F(netfetch_test, local_path_longer_than_the_buffer_fails_and_leaves_nothing) {
  // A temporary folder of 247 characters: the platform's temporary names (3 letters,
  // 1 to 4 digits, ".tmp") then make paths of 256 to 259 characters, which do not fit
  // in 256 bytes with their zero.
  std::string deep = temp_.path() + "\\";
  deep += std::string(247 - deep.size(), 'd');
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << GetLastError();
  UseTempFolder(deep);

  std::string local;
  com_ptr<IError> error;
  EXPECT_FALSE(Download(HttpUrl("tone.wav"), &local, &error));
  EXPECT_TRUE(IsError(error.get(), tb::result::InsufficientBuffer, "256"));
  EXPECT_EQ(local, "");
  EXPECT_EQ(FilesIn(deep), 0);
  EXPECT_TRUE(RemoveDirectoryA(deep.c_str()));
}

TEST_F(netfetch_test, bad_requests_fail_with_their_codes) {
  char buffer[tb::kLocalPathSize] = "junk";
  IError* error = nullptr;
  EXPECT_FALSE(downloader_->Download(nullptr, buffer, 0, &error));
  EXPECT_TRUE(IsError(error, tb::result::InvalidParameter, ""));
  EXPECT_TRUE(tbtest::ReleaseLast(error));
  EXPECT_EQ(buffer[0], '\0');

  error = nullptr;
  EXPECT_FALSE(downloader_->Download("", buffer, 0, &error));
  EXPECT_TRUE(IsError(error, tb::result::InvalidParameter, ""));
  EXPECT_TRUE(tbtest::ReleaseLast(error));

  error = nullptr;
  EXPECT_FALSE(downloader_->Download(HttpUrl("tone.wav").c_str(), nullptr, 0, &error));
  EXPECT_TRUE(IsError(error, tb::result::InvalidParameter, ""));
  EXPECT_TRUE(tbtest::ReleaseLast(error));

  // Only what GetProtocols promises; the manager never passes others, a host might.
  for (const char* url : {"https://127.0.0.1/x.wav", "file:///C:/x.wav", "C:\\x.wav", "http://"}) {
    error = nullptr;
    EXPECT_FALSE(downloader_->Download(url, buffer, 0, &error)) << url;
    EXPECT_TRUE(IsError(error, tb::result::BadPathName, url));
    EXPECT_TRUE(tbtest::ReleaseLast(error));
  }

  // Without an error slot nothing is made (TearDown checks that nothing lives).
  EXPECT_FALSE(downloader_->Download(HttpUrl("missing.wav").c_str(), buffer, 0, nullptr));
  EXPECT_EQ(FilesIn(temp_.path()), 0);
}

// The manager's own road: the scan takes the component in, OpenSource hands an http
// URL to it, and Finish unloads the library (ReadyToFinish agrees while the catalogue
// still holds the component) after Shutdown has removed the local copy.
TEST_F(netfetch_test, manager_downloads_through_the_plugin_and_unloads_it) {
  tbtest::TempFolder plugins;
  ASSERT_TRUE(plugins.CopyIn(tbtest::ExeFolder() + "plugins\\zqnetfetch.dll", "zqnetfetch.dll"));
  const char* registry = "Software\\TunebayTests\\netfetch";
  RegDeleteTreeA(HKEY_CURRENT_USER, registry);
  tb::IManager* manager = nullptr;
  ASSERT_TRUE(tb::GetAssembledManager(&manager));
  EXPECT_TRUE(manager->SetPluginFolder(plugins.path().c_str()));
  {
    com_ptr<tb::IManager> holder(manager);
    com_ptr<tb::IRegistryLocation> location = holder.query<tb::IRegistryLocation>();
    ASSERT_TRUE(location);
    EXPECT_TRUE(location->SetKeyName1("TunebayTests", nullptr));
    EXPECT_TRUE(location->SetKeyName2("netfetch", nullptr));
  }
  ASSERT_TRUE(manager->Initialise());
  {
    com_ptr<tb::IManager> holder(manager);
    com_ptr<tb::IComponentCollection> catalogue = holder.query<tb::IComponentCollection>();
    ASSERT_TRUE(catalogue);
    ASSERT_EQ(catalogue->GetCount(), 1);
    com_ptr<IComponent> item;
    ASSERT_TRUE(catalogue->GetItem(0, item.put()));
    EXPECT_EQ(item->GetKind(), tb::kKindDownloader);
  }

  // No decoder is loaded, so the copy is made but nobody opens it.
  IUnknown* source = nullptr;
  com_ptr<IError> error;
  EXPECT_FALSE(
      manager->OpenSource(HttpUrl("tone.wav").c_str(), nullptr, &source, -1, 0, 0, error.put()));
  EXPECT_EQ(source, nullptr);
  EXPECT_TRUE(IsError(error.get(), tb::result::FileInvalid, ""));
  error.reset();
  EXPECT_EQ(FilesIn(temp_.path()), 1);

  // A URL that cannot be fetched: the error carries the downloader's reason, from the
  // one request the manager made.
  const std::string counted = Url("http", "TB_NETFETCH_HOSTILE_PORT", "counted.wav");
  EXPECT_FALSE(manager->OpenSource(counted.c_str(), nullptr, &source, -1, 0, 0, error.put()));
  EXPECT_TRUE(IsError(error.get(), tb::result::FileInvalid, "HTTP 404"));
  error.reset();
  std::string requests;
  ASSERT_TRUE(
      Download(Url("http", "TB_NETFETCH_HOSTILE_PORT", "requests.txt"), &requests, nullptr));
  EXPECT_EQ(ReadFile(requests), "1");
  EXPECT_TRUE(DeleteFileA(requests.c_str()));

  EXPECT_TRUE(manager->IsReadyToFinish());
  EXPECT_TRUE(manager->Finish());
  EXPECT_EQ(GetModuleHandleA((plugins.path() + "\\zqnetfetch.dll").c_str()), nullptr);
  EXPECT_EQ(FilesIn(temp_.path()), 0);
  EXPECT_TRUE(tbtest::ReleaseLast(manager));
  RegDeleteTreeA(HKEY_CURRENT_USER, registry);
}

}  // namespace
