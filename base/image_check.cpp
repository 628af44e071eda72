#include "base/image_check.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/ascii.h"
#include "base/handles.h"

namespace tb {

namespace {

constexpr DWORD kMaxImageFileSize = 256u << 20;
// How many levels of dependencies are followed below the checked library.
constexpr int kMaxDependencyDepth = 3;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

// Names the loader resolves without a file of that name.
bool IsApiSetName(const std::string& library) {
  return StartsWithIgnoringAsciiCase(library, "api-ms-") ||
         StartsWithIgnoringAsciiCase(library, "ext-ms-");
}

// Where the loader would find `library` for an image in `folder`; empty when nowhere.
std::string LocateLibrary(const std::string& folder, const std::string& library) {
  if (library.find_first_of("\\/:") != std::string::npos) return std::string();
  const std::string beside = folder + library;
  const DWORD attributes = GetFileAttributesA(beside.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return beside;
  }
  char found[MAX_PATH];
  const DWORD length = SearchPathA(nullptr, library.c_str(), nullptr, MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return std::string(found, length);
}

bool InSystemFolder(const std::string& path) {
  char folder[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  return Lower(path).rfind(Lower(std::string(folder, length)), 0) == 0;
}

struct Walk {
  std::set<std::string> visited;
  std::vector<UnresolvedImport> unresolved;
};

void CheckImports(const std::string& path, const std::string& name, const PeImage& image, int depth,
                  Walk& walk) {
  const std::string folder = FolderOf(path);
  for (const PeImport& import : image.imports) {
    if (IsApiSetName(import.library)) continue;
    const std::string found = LocateLibrary(folder, import.library);
    if (found.empty()) {
      walk.unresolved.push_back({name, import.library, std::string()});
      continue;
    }
    // A library that is already loaded answers for itself; another is read from its
    // file, so that checking runs no code of it.
    HMODULE loaded = GetModuleHandleA(import.library.c_str());
    PeImage dependency;
    const bool read = loaded || ReadImageFile(found, dependency);
    for (const PeImportedFunction& function : import.functions) {
      bool exported = true;
      if (loaded) {
        exported = function.name.empty()
                       ? GetProcAddress(loaded, MAKEINTRESOURCEA(function.ordinal)) != nullptr
                       : GetProcAddress(loaded, function.name.c_str()) != nullptr;
      } else if (read && dependency.valid()) {
        exported = function.name.empty() ? dependency.exportsOrdinal(function.ordinal)
                                         : dependency.exportsName(function.name);
      }
      if (!exported) {
        walk.unresolved.push_back({name, import.library,
                                   function.name.empty()
                                       ? "ordinal " + std::to_string(function.ordinal)
                                       : function.name});
      }
    }
    if (!loaded && read && dependency.valid() && depth < kMaxDependencyDepth &&
        !InSystemFolder(found) && walk.visited.insert(Lower(found)).second) {
      CheckImports(found, import.library, dependency, depth + 1, walk);
    }
  }
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ReadImageFile(const std::string& path, PeImage& image) {
  image = PeImage();
  unique_hfile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    image.problem = "cannot be read: " + SystemErrorText(GetLastError());
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxImageFileSize) {
    image.problem = "cannot be read: too large for a plug-in library";
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  DWORD done = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
       done != bytes.size())) {
    image.problem = "cannot be read: " + SystemErrorText(GetLastError());
    return false;
  }
  image = ReadPeImage(bytes.data(), bytes.size());
  return true;
}

std::vector<UnresolvedImport> FindUnresolvedImports(const std::string& path, const PeImage& image) {
  Walk walk;
  walk.visited.insert(Lower(path));
  try {
    CheckImports(path, BaseName(path), image, 0, walk);
  } catch (...) {
    // Out of memory: what was found so far is still true.
  }
  return walk.unresolved;
}

std::string DescribeUnresolvedImport(const UnresolvedImport& import) {
  std::string text = "needs ";
  if (import.function.empty()) {
    text += import.library + ", which is not found";
  } else {
    text += import.function + " from " + import.library + ", which does not export it";
  }
  return text;
}

std::string ExplainLoadFailure(const std::string& path, unsigned long error) {
  PeImage image;
  if (!ReadImageFile(path, image)) return image.problem;
  if (!image.valid()) return image.problem;
  if (image.machine != kMachineI386) {
    return "built for " + MachineName(image.machine) + (image.wide ? " (64-bit)" : "") +
           "; plug-ins must be 32-bit x86 libraries";
  }
  if (!image.isDll()) return "an executable program, not a library";
  if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND) {
    const std::vector<UnresolvedImport> unresolved = FindUnresolvedImports(path, image);
    if (!unresolved.empty()) {
      const UnresolvedImport& first = unresolved.front();
      std::string text = DescribeUnresolvedImport(first);
      if (first.neededBy != BaseName(path)) text = first.neededBy + " " + text;
      return text;
    }
  }
  return SystemErrorText(error);
}

std::string SystemErrorText(unsigned long error) {
  char buffer[512];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  for (char& c : text) c = (c == '\r' || c == '\n') ? ' ' : c;
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  if (text.empty()) text = "system error " + std::to_string(error);
  return text;
}

}  // namespace tb
