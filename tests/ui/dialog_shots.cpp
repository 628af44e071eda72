// Takes pictures of the two settings dialogs as a host shows them: loads tunebay.dll
// beside it with the bundled plug-ins, sets the language, opens "Audio Format
// Settings" and then "Get Artist/Title Information", and saves each dialog as it
// stands on the screen, as 24-bit BMP files. scripts/screenshots.sh runs it.
//
// usage: tb_dialog_shots.exe FOLDER LANGID NAME
//   writes FOLDER/settings-NAME.bmp and FOLDER/artist-title-NAME.bmp
#include <windows.h>

#include <tunebay/tunebay.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/test_thread.h"
#include "ui/dialog_driver.h"
#include "ui/resource.h"

namespace {

const char* const kKeyName1 = "TunebayShots";
const char* const kKeyName2 = "Screens";

std::string ExeFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// The window as it stands on the screen, frame and caption included.
bool Capture(HWND window, const std::string& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, picture);
  const bool copied =
      BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
  GdiFlush();
  const DWORD size = ((width * 3 + 3) & ~3) * height;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  bool written = false;
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
              std::fwrite(bits, size, 1, out) == 1;
    written = std::fclose(out) == 0 && written;
  }
  SelectObject(memory, old);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied || !written) std::fprintf(stderr, "error: cannot write %s\n", path.c_str());
  return copied && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tb_dialog_shots FOLDER LANGID NAME\n");
    return 2;
  }
  const std::string folder = argv[1];
  const uint16_t language = static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 0));
  const std::string name = argv[3];

  HMODULE library = LoadLibraryA((ExeFolder() + "tunebay.dll").c_str());
  auto get = library ? reinterpret_cast<tb::GetTunebayFn>(
                           reinterpret_cast<void*>(GetProcAddress(library, TB_EXPORT_GET_TUNEBAY)))
                     : nullptr;
  tb::IManager* manager = nullptr;
  if (!get || !get(&manager) || !manager) {
    std::fprintf(stderr, "error: no manager from tunebay.dll\n");
    return 1;
  }
  tb::IRegistryLocation* location = nullptr;
  tb::ILanguageSetting* languages = nullptr;
  tb::ISettingsDialog* dialog = nullptr;
  manager->QueryInterface(tb::iid_of<tb::IRegistryLocation>(), reinterpret_cast<void**>(&location));
  manager->QueryInterface(tb::iid_of<tb::ILanguageSetting>(), reinterpret_cast<void**>(&languages));
  manager->QueryInterface(tb::iid_of<tb::ISettingsDialog>(), reinterpret_cast<void**>(&dialog));
  if (!location || !languages || !dialog) return 1;
  location->SetKeyName1(kKeyName1, nullptr);
  location->SetKeyName2(kKeyName2, nullptr);
  manager->SetPluginFolder((ExeFolder() + "plugins").c_str());
  manager->Initialise();
  languages->SetLanguage(language);

  bool ok = true;
  const DWORD thread = GetCurrentThreadId();
  tbtest::Thread driver([&] {
    HWND settings = tbtest::WaitForDialog(thread, IDC_NO_PLUGINS);
    if (!settings) {
      ok = false;
      return;
    }
    // The artist/title dialog first: when it closes, it hands the activation back to
    // the settings dialog, which a program started from the virtual desktop's shell
    // does not get otherwise, and the settings dialog is then drawn as the active one.
    tbtest::ClickLater(settings, IDC_ARTIST_TITLE_SOURCE);
    HWND source = tbtest::WaitForDialog(thread, IDC_FILE_NAME_FORMAT);
    if (source) {
      Sleep(800);
      ok = Capture(source, folder + "\\artist-title-" + name + ".bmp") && ok;
      tbtest::PressEscape(source);
      tbtest::WaitGone(source);
    } else {
      ok = false;
    }
    tbtest::SelectRow(GetDlgItem(settings, IDC_COMPONENT_LIST), 0);
    Sleep(800);
    ok = Capture(settings, folder + "\\settings-" + name + ".bmp") && ok;
    tbtest::CancelAll(thread);
  });
  dialog->ShowSettingsDialog();
  driver.join();

  dialog->Release();
  languages->Release();
  location->Release();
  manager->Finish();
  manager->Release();
  FreeLibrary(library);
  RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\") + kKeyName1).c_str());
  return ok ? 0 : 1;
}
