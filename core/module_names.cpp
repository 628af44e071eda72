#include "core/module_names.h"

#include "base/ascii.h"

namespace tb {

// One name per module of the suite's audio set: six formats, the MP3 module and two
// variants of it, the designated format module, the default convertor, the
// downloaders, two MIDI modules and the video module.
const char* const kAllowListNames[kAllowListSize] = {
    "aacaudio.dll",   "aiffaudio.dll", "oggaudio.dll",  "wmaaudio.dll",   "vqfaudio.dll",
    "wavaudio.dll",   "mp3audio.dll",  "mp3lite.dll",   "mp3plus.dll",    "multiformat.dll",
    "pcmconvert.dll", "netfetch.dll",  "midisynth.dll", "midiplayer.dll", "videoaudio.dll",
};

const char* const kDesignatedModuleName = "multiformat.dll";

const char* const kHostModuleSubfolder = "AudioPlugins";

namespace {

bool EndsWithDll(std::string_view name) noexcept {
  constexpr std::string_view kExtension = ".dll";
  return name.size() > kExtension.size() &&
         EqualsIgnoringAsciiCase(name.substr(name.size() - kExtension.size()), kExtension);
}

}  // namespace

bool IsAdmittedModuleName(std::string_view name) noexcept {
  if (!EndsWithDll(name)) return false;
  if (LowerAscii(name[0]) == 'z' && name.size() > 1 && LowerAscii(name[1]) == 'q') return true;
  for (const char* allowed : kAllowListNames) {
    if (EqualsIgnoringAsciiCase(name, allowed)) return true;
  }
  return false;
}

bool IsDesignatedModuleName(std::string_view name) noexcept {
  return EqualsIgnoringAsciiCase(name, kDesignatedModuleName);
}

std::optional<std::string> HostModulePath(std::string_view exePath) {
  const std::size_t slash = exePath.find_last_of("\\/");
  if (slash == std::string_view::npos) return std::nullopt;
  std::string path(exePath.substr(0, slash + 1));
  path += kHostModuleSubfolder;
  path += '\\';
  path += kDesignatedModuleName;
  if (path.size() > kMaxLoadPathLength) return std::nullopt;
  return path;
}

std::string ModuleBaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/:");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

}  // namespace tb
