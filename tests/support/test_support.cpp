#include "support/test_support.h"

#include <cstdio>

namespace tbtest {

TempFolder::TempFolder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static LONG counter = 0;
  char name[MAX_PATH];
  std::snprintf(name, sizeof name, "%stbtest-%lu-%ld", base, GetCurrentProcessId(),
                InterlockedIncrement(&counter));
  CreateDirectoryA(name, nullptr);
  path_ = name;
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string entry = data.cFileName;
      if (entry == "." || entry == "..") continue;
      std::string full = path_ + "\\" + entry;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(full.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path_.c_str());
}

bool TempFolder::CopyIn(const std::string& from, const std::string& name) const {
  return CopyFileA(from.c_str(), (path_ + "\\" + name).c_str(), FALSE) != 0;
}

bool TempFolder::Write(const std::string& name, const std::string& bytes) const {
  HANDLE file = CreateFileA((path_ + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

}  // namespace tbtest
