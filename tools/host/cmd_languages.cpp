// tunebay-host languages: the languages of the settings dialogs, as the manager lists
// them through ILanguageList, with the LANGIDs that choose each and a sample text.
#include <cstdio>
#include <string>
#include <vector>

#include "host.h"

namespace host {

namespace {

// The dialog text shown translated for each language.
constexpr char kSampleText[] = "Audio Format Settings";

// Prints 8-bit text of `codePage`: to a console as wide characters, so that it shows
// whatever the console's code page; redirected, as UTF-8.
void PrintInCodePage(const std::string& text, UINT codePage) {
  std::fflush(stdout);
  const int wide = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring buffer(size_t(wide > 0 ? wide : 0), L'\0');
  if (wide > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &buffer[0], wide);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    DWORD written = 0;
    WriteConsoleW(out, buffer.data(), DWORD(buffer.size()), &written, nullptr);
    return;
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), int(buffer.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string utf8(size_t(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, buffer.data(), int(buffer.size()), &utf8[0], size, nullptr,
                        nullptr);
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

}  // namespace

const cli::CommandDef kLanguagesCommand = {
    "languages",
    "the dialogs' languages with a sample text",
    "languages [--lang LANGID]",
    "Lists the languages of the settings dialogs, each with the LANGIDs that choose it\n"
    "and a translated sample text; '*' marks the language --lang chose (or the manager's\n"
    "own).\n",
    nullptr,
    0,
    false,
    "Exit status: 0 when every language has its sample text, 1 otherwise or when the\n"
    "library did not load, 2 for bad arguments.\n",
    0,
    0};

int CommandLanguages(const cli::ParsedLine&) {
  Session session;
  if (!OpenSession(session)) return 1;
  tb::ILanguageList* list = nullptr;
  tb::ILanguageSetting* setting = nullptr;
  session.manager->QueryInterface(tb::iid_of<tb::ILanguageList>(), reinterpret_cast<void**>(&list));
  session.manager->QueryInterface(tb::iid_of<tb::ILanguageSetting>(),
                                  reinterpret_cast<void**>(&setting));
  if (!list || !setting) {
    std::fprintf(stderr, "error: this tunebay.dll does not list its languages\n");
    if (list) list->Release();
    if (setting) setting->Release();
    CloseSession(session);
    return 1;
  }

  const uint16_t current = setting->GetLanguage();
  char currentText[256] = "";
  list->TranslateText(current, kSampleText, currentText, sizeof currentText, nullptr);
  std::printf("language of the dialogs: 0x%04X, code page %u: ", current,
              unsigned(list->GetCodePage(current)));
  PrintInCodePage(currentText, list->GetCodePage(current));
  std::printf("\n\n");

  int failures = 0;
  for (int32_t i = 0; i < list->GetLanguageCount(); ++i) {
    std::vector<uint16_t> ids(size_t(list->GetLanguageIds(i, nullptr, 0)));
    list->GetLanguageIds(i, ids.data(), int32_t(ids.size()));
    bool chosen = false;
    std::string idText;
    for (uint16_t id : ids) {
      char one[16];
      std::snprintf(one, sizeof one, " 0x%04X", id);
      idText += one;
      chosen = chosen || id == current;
    }
    std::printf("%c %s  %s\n", chosen ? '*' : ' ', list->GetLanguageCode(i),
                list->GetLanguageName(i));
    std::printf("       LANGIDs:%s\n", idText.c_str());
    char sample[256] = "";
    const uint16_t first = ids.empty() ? 0 : ids[0];
    if (!list->TranslateText(first, kSampleText, sample, sizeof sample, nullptr)) ++failures;
    std::printf("       code page %u: ", unsigned(list->GetCodePage(first)));
    PrintInCodePage(sample, list->GetCodePage(first));
    std::printf("\n");
  }
  list->Release();
  setting->Release();
  CloseSession(session);
  return failures == 0 ? 0 : 1;
}

}  // namespace host
