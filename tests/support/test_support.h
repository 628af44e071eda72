// Small helpers shared by the Windows tests.
#ifndef TB_TESTS_SUPPORT_TEST_SUPPORT_H
#define TB_TESTS_SUPPORT_TEST_SUPPORT_H

#include <windows.h>

#include <unknwn.h>

#include <gtest/gtest.h>

#include <string>

namespace tbtest {

/// The reference count an object reports after one AddRef/Release pair, which
/// leaves it unchanged.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

inline ::testing::AssertionResult ExpectRefCount(IUnknown* object, ULONG expected) {
  ULONG actual = RefCount(object);
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "reference count is " << actual << ", expected " << expected;
}

/// Releases the last reference and checks that it was the last.
inline ::testing::AssertionResult ReleaseLast(IUnknown* object) {
  ULONG left = object->Release();
  if (left == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "last Release returned " << left;
}

/// The folder of the running test program, with a trailing backslash.
inline std::string ExeFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

/// Where the build puts the test plug-ins.
inline std::string TestPluginFolder() { return ExeFolder() + "..\\testplugins\\"; }

/// A fresh empty temporary folder, removed with its files by the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  /// Copies a file into the folder under `name`.
  bool CopyIn(const std::string& from, const std::string& name) const;
  /// Writes `bytes` into the folder under `name`.
  bool Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

}  // namespace tbtest

#endif  // TB_TESTS_SUPPORT_TEST_SUPPORT_H
