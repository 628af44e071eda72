#include <windows.h>

#include "plugins/mp3/mpg123_api.h"

namespace tb::mp3 {
namespace {

template <class Fn>
bool Bind(HMODULE module, const char* name, Fn* out, std::string* missing) {
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (!*out && missing->empty()) *missing = name;
  return *out != nullptr;
}

}  // namespace

std::shared_ptr<const Mpg123Api> LoadMpg123(const std::string& path, std::string* error) {
  // The altered search path lets the DLL's own dependencies come from its folder too.
  const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    *error = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto api = std::make_shared<Mpg123Api>();
  api->module =
      std::shared_ptr<void>(module, [](void* m) { FreeLibrary(static_cast<HMODULE>(m)); });
  std::string missing;
  Bind(module, "mpg123_init", &api->init, &missing);
  Bind(module, "mpg123_new", &api->create, &missing);
  Bind(module, "mpg123_delete", &api->destroy, &missing);
  Bind(module, "mpg123_param2", &api->param, &missing);
  Bind(module, "mpg123_format_none", &api->formatNone, &missing);
  Bind(module, "mpg123_format", &api->format, &missing);
  Bind(module, "mpg123_rates", &api->rates, &missing);
  Bind(module, "mpg123_replace_reader_handle_64", &api->replaceReader, &missing);
  Bind(module, "mpg123_open_handle_64", &api->openHandle, &missing);
  Bind(module, "mpg123_close", &api->close, &missing);
  Bind(module, "mpg123_getformat", &api->getFormat, &missing);
  Bind(module, "mpg123_scan", &api->scan, &missing);
  Bind(module, "mpg123_length_64", &api->length, &missing);
  Bind(module, "mpg123_decode_frame_64", &api->decodeFrame, &missing);
  Bind(module, "mpg123_seek_64", &api->seek, &missing);
  Bind(module, "mpg123_meta_check", &api->metaCheck, &missing);
  Bind(module, "mpg123_id3", &api->id3, &missing);
  Bind(module, "mpg123_strerror", &api->strerror, &missing);
  Bind(module, "mpg123_plain_strerror", &api->plainStrerror, &missing);
  Bind(module, "mpg123_info2", &api->info, &missing);
  if (!missing.empty()) {
    *error = path + " lacks the entry point " + missing + " (an incompatible version?)";
    return nullptr;
  }
  api->init();
  return api;
}

std::string Mpg123PathBesideThisModule() {
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&Mpg123PathBesideThisModule), &self);
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "libmpg123.dll";
  std::string folder(path, n);
  const size_t slash = folder.find_last_of("\\/");
  folder.resize(slash == std::string::npos ? 0 : slash + 1);
  return folder + "libmpg123.dll";
}

}  // namespace tb::mp3
