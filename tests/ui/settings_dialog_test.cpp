// The settings dialogs driven as a user drives them, through the manager's
// ISettingsDialog: a second thread finds each dialog when it opens, reads its controls,
// clicks, selects, moves rows and closes it; afterwards the test checks the manager's
// values, the registry and every component's reference count.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/manager.h"
#include "nls/language_list.h"
#include "nls/window_translation.h"
#include "services/manager_services.h"
#include "sources/manager_sources.h"
#include "support/test_support.h"
#include "support/test_thread.h"
#include "ui/dialog.h"
#include "ui/dialog_driver.h"
#include "ui/resource.h"
#include "ui/show_settings.h"

namespace {

using tb::IComponent;
using tb::Manager;
using tbtest::Row;

// A component that counts its references and the calls the dialog makes on it.
class DialogFake final : public tb::IComponent,
                         public tb::ISettingsDialog,
                         public tb::IComponentAbout {
 public:
  DialogFake(int32_t kind, const char* name, const char* vendor, bool settings, bool aboutBox,
             bool faults)
      : kind_(kind),
        name_(name),
        vendor_(vendor),
        settings_(settings),
        aboutBox_(aboutBox),
        faults_(faults) {}

  HRESULT TB_STDCALL QueryInterface(REFIID iid, void** out) noexcept override {
    const tb::QueryRow rows[] = {
        {&IID_IUnknown, static_cast<tb::IComponent*>(this)},
        {&tb::iid_of<tb::ISettingsDialog>(),
         settings_ ? static_cast<tb::ISettingsDialog*>(this) : nullptr},
        {&tb::iid_of<tb::IComponentAbout>(),
         vendor_ ? static_cast<tb::IComponentAbout*>(this) : nullptr},
    };
    return tb::query_from_table(iid, out, rows);
  }
  ULONG TB_STDCALL AddRef() noexcept override { return InterlockedIncrement(&count); }
  ULONG TB_STDCALL Release() noexcept override { return InterlockedDecrement(&count); }
  const char* TB_STDCALL GetName() noexcept override { return name_; }
  int32_t TB_STDCALL GetKind() noexcept override { return kind_; }
  bool TB_STDCALL Setup(tb::IManager*, tb::IError**) noexcept override { return true; }
  void TB_STDCALL Shutdown() noexcept override {}
  bool TB_STDCALL ShowSettingsDialog() noexcept override {
    ++configures;
    // A plug-in's dialog that fails the way foreign code does: a structured exception.
    if (faults_) RaiseException(0xE0424144, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return true;
  }
  const char* TB_STDCALL GetVendor() noexcept override { return vendor_; }
  bool TB_STDCALL HasAboutBox() noexcept override { return aboutBox_; }
  void TB_STDCALL ShowAboutBox() noexcept override { ++abouts; }

  volatile LONG count = 1;  // the creator's reference
  int configures = 0;
  int abouts = 0;

 private:
  int32_t kind_;
  const char* name_;
  const char* vendor_;  // null: no IComponentAbout
  bool settings_;
  bool aboutBox_;
  bool faults_;
};

struct FakeComponent {
  int32_t kind;
  const char* name;
  const char* vendor;
  bool settings;
  bool aboutBox;
  bool faults = false;
};

const char* const kKeyName1 = "TunebayUiTest";
const char* const kKeyName2 = "Dialogs";
const std::vector<int> kSourceRadios = {IDC_SOURCE_INFO_THEN_NAME, IDC_SOURCE_INFO_ONLY,
                                        IDC_SOURCE_NAME_ONLY};

std::string RegistryText(const char* value) {
  const std::string path = std::string("Software\\") + kKeyName1 + "\\" + kKeyName2 + "\\Tunebay";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return "(no key)";
  }
  char data[1024] = {};
  DWORD size = sizeof data - 1, type = 0;
  std::string result = "(no value)";
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
      ERROR_SUCCESS) {
    result = type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : data;
  }
  RegCloseKey(key);
  return result;
}

// The manager as the library assembles it, up to this layer.
bool AssembleWithDialogs(Manager& manager) {
  return tb::AddServiceParts(manager) && tb::AddSourceParts(manager) &&
         tb::AddLanguageParts(manager) && tb::AddUiParts(manager);
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\") + kKeyName1).c_str());
    tb::IManager* primary = nullptr;
    ASSERT_TRUE(Manager::GetInstance(&primary, &AssembleWithDialogs));
    manager_ = static_cast<Manager*>(primary);
    tb::IRegistryLocation* location = Face<tb::IRegistryLocation>();
    ASSERT_TRUE(location->SetKeyName1(kKeyName1, nullptr));
    ASSERT_TRUE(location->SetKeyName2(kKeyName2, nullptr));
    ASSERT_TRUE(manager_->SetPluginFolder(plugins_.path().c_str()));
    ASSERT_TRUE(manager_->Initialise());
  }

  void TearDown() override {
    if (manager_) {
      EXPECT_TRUE(manager_->Finish());
      EXPECT_TRUE(tbtest::ReleaseLast(manager_->primary()));
    }
    // Every row's reference and the catalogue's are back: only the creator's is left.
    for (const std::unique_ptr<DialogFake>& fake : fakes_) {
      EXPECT_EQ(fake->Release(), 0u) << fake->GetName();
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, (std::string("Software\\") + kKeyName1).c_str());
  }

  // One of the manager's interfaces, borrowed: the manager's own reference keeps it.
  template <class I>
  I* Face() {
    I* face = nullptr;
    manager_->QueryInterface(tb::iid_of<I>(), reinterpret_cast<void**>(&face));
    if (face) face->Release();
    return face;
  }

  // Puts components into the catalogue as the scan would, as items of "zqNAME.dll".
  std::vector<DialogFake*> Catalogue(const std::vector<FakeComponent>& components) {
    std::vector<DialogFake*> added;
    for (const FakeComponent& row : components) {
      fakes_.push_back(std::make_unique<DialogFake>(row.kind, row.name, row.vendor, row.settings,
                                                    row.aboutBox, row.faults));
      DialogFake* fake = fakes_.back().get();
      fake->AddRef();
      manager_->AddComponent(fake, (std::string("zq") + row.name + ".dll").c_str(), 0);
      added.push_back(fake);
    }
    return added;
  }

  // Runs ShowSettingsDialog while `script` drives the dialog from another thread.
  bool Show(const std::function<void(HWND dialog)>& script) {
    const DWORD thread = GetCurrentThreadId();
    tbtest::Thread driver([&] {
      HWND dialog = tbtest::WaitForDialog(thread, IDC_NO_PLUGINS);
      if (dialog) {
        script(dialog);
      } else {
        ADD_FAILURE() << "the settings dialog did not open";
      }
      tbtest::CancelAll(thread);
    });
    const bool result = Face<tb::ISettingsDialog>()->ShowSettingsDialog();
    driver.join();
    return result;
  }

  std::vector<std::string> Order() {
    tb::IComponentCollection* list = nullptr;
    EXPECT_TRUE(Face<tb::ISourceOrder>()->GetOrderedComponents(tb::kKindDecoder, &list));
    std::vector<std::string> names;
    for (int32_t i = 0; list && i < list->GetCount(); ++i) {
      IComponent* item = nullptr;
      if (list->GetItem(i, &item) && item) {
        names.push_back(item->GetName());
        item->Release();
      }
    }
    if (list) {
      EXPECT_TRUE(tbtest::ReleaseLast(list));
    }
    return names;
  }

  Manager* manager_ = nullptr;
  tbtest::TempFolder plugins_;
  std::vector<std::unique_ptr<DialogFake>> fakes_;
};

const std::vector<FakeComponent> kMixed = {
    {tb::kKindDecoder, "wave", "Sample Works", true, true},
    {tb::kKindEncoder, "writer", "Sample Works", false, false},
    {tb::kKindDecoder, "flac", nullptr, false, false},
    {tb::kKindDecoder, "ogg", "Open Sound", true, false, true},
};

TEST_F(SettingsDialogTest, decoders_tab_lists_rows_and_buttons_follow_the_focused_row) {
  std::vector<DialogFake*> fakes = Catalogue(kMixed);
  const bool result = Show([&](HWND dialog) {
    EXPECT_EQ(tbtest::Text(dialog), "Audio Format Settings");
    HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
    EXPECT_EQ(tbtest::TabLabels(GetDlgItem(dialog, IDC_KIND_TABS)),
              (std::vector<std::string>{"Decoders", "Encoders"}));
    EXPECT_EQ(tbtest::ColumnHeadings(list),
              (std::vector<std::string>{"Plug-in Name", "Vendor", "File Name"}));
    EXPECT_EQ(tbtest::Rows(list), (std::vector<Row>{{"wave", "Sample Works", "zqwave.dll"},
                                                    {"flac", "", "zqflac.dll"},
                                                    {"ogg", "Open Sound", "zqogg.dll"}}));
    EXPECT_EQ(tbtest::RowImage(list, 2), 0);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_MOVE_UP)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_NO_PLUGINS)));

    struct Expected {
      int row;
      bool configure, about, up, down;
    };
    for (const Expected& e :
         {Expected{0, true, true, false, true}, Expected{1, false, false, true, true},
          Expected{2, true, false, true, false}}) {
      tbtest::SelectRow(list, e.row);
      EXPECT_EQ(!!IsWindowEnabled(GetDlgItem(dialog, IDC_CONFIGURE)), e.configure) << e.row;
      EXPECT_EQ(!!IsWindowEnabled(GetDlgItem(dialog, IDC_ABOUT)), e.about) << e.row;
      EXPECT_EQ(!!IsWindowEnabled(GetDlgItem(dialog, IDC_MOVE_UP)), e.up) << e.row;
      EXPECT_EQ(!!IsWindowEnabled(GetDlgItem(dialog, IDC_MOVE_DOWN)), e.down) << e.row;
    }
    // Configure by button (the faulting one: the dialog goes on) and by double click;
    // About.
    tbtest::Click(dialog, IDC_CONFIGURE);
    tbtest::DoubleClickRow(list, 0);
    tbtest::Click(dialog, IDC_ABOUT);
    tbtest::Click(dialog, IDC_CONFIGURE);
    // The encoders tab has no order to change.
    tbtest::ClickTab(GetDlgItem(dialog, IDC_KIND_TABS), 1);
    EXPECT_EQ(tbtest::Rows(list), (std::vector<Row>{{"writer", "Sample Works", "zqwriter.dll"}}));
    EXPECT_EQ(tbtest::RowImage(list, 0), 1);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_MOVE_UP)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_MOVE_DOWN)));
    tbtest::PressEscape(dialog);
    EXPECT_TRUE(tbtest::WaitGone(dialog));
  });
  EXPECT_FALSE(result);
  EXPECT_EQ(fakes[3]->configures, 1);
  EXPECT_EQ(fakes[0]->configures, 2);  // the double click and the button
  EXPECT_EQ(fakes[0]->abouts, 1);
  EXPECT_EQ(fakes[2]->configures + fakes[2]->abouts, 0);
}

// The decoder order: what each way of leaving the decoders tab stores.
TEST_F(SettingsDialogTest, order_is_stored_on_close_and_on_tab_change_but_not_on_escape) {
  struct Case {
    const char* what;
    int moveRow;  // moved down one place
    bool changeTab;
    bool close;  // Close, else Escape
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {"close", 0, false, true, {"flac", "wave", "ogg"}},
      {"escape", 1, false, false, {"flac", "wave", "ogg"}},
      {"tab then escape", 1, true, false, {"flac", "ogg", "wave"}},
  };
  Catalogue(kMixed);
  for (const Case& c : cases) {
    const bool result = Show([&](HWND dialog) {
      HWND list = GetDlgItem(dialog, IDC_COMPONENT_LIST);
      // Up on the top row does nothing.
      const std::vector<Row> before = tbtest::Rows(list);
      tbtest::SelectRow(list, 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_MOVE_UP, BN_CLICKED), 0);
      EXPECT_EQ(tbtest::Rows(list), before) << c.what;
      tbtest::SelectRow(list, c.moveRow);
      tbtest::Click(dialog, IDC_MOVE_DOWN);
      const std::vector<Row> after = tbtest::Rows(list);
      EXPECT_EQ(after[c.moveRow + 1], before[c.moveRow]) << c.what;
      EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), c.moveRow + 1) << c.what;
      if (c.changeTab) tbtest::ClickTab(GetDlgItem(dialog, IDC_KIND_TABS), 1);
      if (c.close) {
        tbtest::ClickLater(dialog, IDOK);
      } else {
        tbtest::PressEscape(dialog);
      }
      EXPECT_TRUE(tbtest::WaitGone(dialog));
    });
    EXPECT_EQ(result, c.close) << c.what;
    EXPECT_EQ(Order(), c.order) << c.what;
  }
  // The manager stores the order under the keys of the decoders' origins.
  EXPECT_TRUE(manager_->Finish());
  EXPECT_EQ(RegistryText("SourceComponentOrder"), "zqflac.dll*0?zqogg.dll*0?zqwave.dll*0");
  EXPECT_TRUE(manager_->Initialise());
}

// The artist/title source dialog: what it shows for the manager's values, and which
// way of closing the two dialogs hands its choices back.
TEST_F(SettingsDialogTest, artist_title_choices_reach_the_manager_only_through_ok_and_close) {
  struct Case {
    const char* what;
    bool ok;     // OK in the artist/title dialog, else Cancel
    bool close;  // Close in the settings dialog, else Escape
    int32_t source, format;
  };
  const Case cases[] = {
      {"cancel, close", false, true, 2, 1},
      {"ok, escape", true, false, 2, 1},
      {"ok, close", true, true, 0, 2},
  };
  Catalogue({{tb::kKindEncoder, "writer", nullptr, false, false}});
  manager_->setArtistTitleSource(2);
  manager_->setArtistTitleFileNameFormat(1);
  const DWORD thread = GetCurrentThreadId();
  for (const Case& c : cases) {
    const bool result = Show([&](HWND dialog) {
      tbtest::ClickLater(dialog, IDC_ARTIST_TITLE_SOURCE);
      HWND source = tbtest::WaitForDialog(thread, IDC_FILE_NAME_FORMAT);
      ASSERT_TRUE(source) << c.what;
      EXPECT_FALSE(IsWindowEnabled(dialog)) << "the settings dialog owns it";
      EXPECT_EQ(tbtest::Text(source), "Get Artist/Title Information");
      HWND combo = GetDlgItem(source, IDC_FILE_NAME_FORMAT);
      EXPECT_EQ(tbtest::ComboItems(combo),
                (std::vector<std::string>{"<Artist><delimiter><Title>.<ext>",
                                          "<Title><delimiter><Artist>.<ext>", "<Title>.<ext>"}));
      EXPECT_EQ(tbtest::CheckedRadio(source, kSourceRadios), 2) << c.what;
      EXPECT_EQ(tbtest::ComboSelection(combo), 1) << c.what;
      tbtest::Click(source, IDC_SOURCE_INFO_THEN_NAME);
      tbtest::ChooseComboItem(source, IDC_FILE_NAME_FORMAT, 2);
      tbtest::ClickLater(source, c.ok ? IDOK : IDCANCEL);
      EXPECT_TRUE(tbtest::WaitGone(source));
      ASSERT_TRUE(tbtest::WaitForDialog(thread, IDC_NO_PLUGINS)) << c.what;
      if (c.close) {
        tbtest::ClickLater(dialog, IDOK);
      } else {
        tbtest::PressEscape(dialog);
      }
      EXPECT_TRUE(tbtest::WaitGone(dialog));
    });
    EXPECT_EQ(result, c.close) << c.what;
    EXPECT_EQ(manager_->artistTitleSource(), c.source) << c.what;
    EXPECT_EQ(manager_->artistTitleFileNameFormat(), c.format) << c.what;
  }
  EXPECT_TRUE(manager_->Finish());
  EXPECT_EQ(RegistryText("ArtistTitleSource"), "0");
  EXPECT_EQ(RegistryText("ArtistTitle_FileNameFormat"), "2");
  EXPECT_TRUE(manager_->Initialise());
}

TEST_F(SettingsDialogTest, no_choice_opens_with_nothing_checked_and_comes_back_as_minus_one) {
  manager_->setArtistTitleSource(-1);
  manager_->setArtistTitleFileNameFormat(-1);
  const DWORD thread = GetCurrentThreadId();
  const bool result = Show([&](HWND dialog) {
    tbtest::ClickLater(dialog, IDC_ARTIST_TITLE_SOURCE);
    HWND source = tbtest::WaitForDialog(thread, IDC_FILE_NAME_FORMAT);
    ASSERT_TRUE(source);
    EXPECT_EQ(tbtest::CheckedRadio(source, kSourceRadios), -1);
    EXPECT_EQ(tbtest::ComboSelection(GetDlgItem(source, IDC_FILE_NAME_FORMAT)), -1);
    tbtest::ClickLater(source, IDOK);
    EXPECT_TRUE(tbtest::WaitGone(source));
    ASSERT_TRUE(tbtest::WaitForDialog(thread, IDC_NO_PLUGINS));
    tbtest::ClickLater(dialog, IDOK);
    EXPECT_TRUE(tbtest::WaitGone(dialog));
  });
  EXPECT_TRUE(result);
  EXPECT_EQ(manager_->artistTitleSource(), -1);
  EXPECT_EQ(manager_->artistTitleFileNameFormat(), -1);
}

// Which tabs a catalogue gives, and the text shown when there is none.
TEST_F(SettingsDialogTest, tabs_follow_the_kinds_in_the_catalogue) {
  struct Case {
    std::vector<FakeComponent> components;
    std::vector<std::string> tabs;
  };
  const Case cases[] = {
      {{{7, "odd", nullptr, false, false}}, {}},
      {{{tb::kKindDownloader, "fetch", nullptr, false, false},
        {tb::kKindEncoder, "writer", nullptr, false, false}},
       {"Encoders", "Downloaders"}},
      {{{tb::kKindConvertor, "pcm", nullptr, false, false}, {9, "odder", nullptr, false, false}},
       {"Encoders", "Convertors", "Downloaders"}},
  };
  // Each case adds its components to those of the cases before.
  for (const Case& c : cases) {
    Catalogue(c.components);
    Show([&](HWND dialog) {
      HWND tabs = GetDlgItem(dialog, IDC_KIND_TABS);
      EXPECT_EQ(tbtest::TabLabels(tabs), c.tabs);
      EXPECT_EQ(!!IsWindowVisible(GetDlgItem(dialog, IDC_COMPONENT_LIST)), !c.tabs.empty());
      EXPECT_EQ(!!IsWindowVisible(GetDlgItem(dialog, IDC_NO_PLUGINS)), c.tabs.empty());
      EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_MOVE_UP)));
      for (size_t tab = 0; tab < c.tabs.size(); ++tab) {
        tbtest::ClickTab(tabs, static_cast<int>(tab));
        EXPECT_EQ(tbtest::Rows(GetDlgItem(dialog, IDC_COMPONENT_LIST)).size(), 1u);
      }
      tbtest::PressEscape(dialog);
      EXPECT_TRUE(tbtest::WaitGone(dialog));
    });
  }
}

// The dialogs in the host's language: every text on the controls comes from the text
// table's section for it.
TEST_F(SettingsDialogTest, dialogs_show_the_hosts_language) {
  Catalogue(kMixed);
  const DWORD thread = GetCurrentThreadId();
  for (uint16_t language : {uint16_t{0x0407}, uint16_t{0x0411}}) {
    ASSERT_TRUE(Face<tb::ILanguageSetting>()->SetLanguage(language));
    std::unique_ptr<tb::NlsTranslator> translator =
        tb::CreateNlsTranslator(tb::ui::ResourceModule(), tb::kTextTableResourceId, language);
    ASSERT_TRUE(translator);
    auto translated = [&](const char* english) {
      std::string text;
      translator->Translate(english, &text);
      EXPECT_NE(text, english) << "no translation for " << english;
      return text;
    };
    Show([&](HWND dialog) {
      EXPECT_EQ(tbtest::Text(dialog), translated("Audio Format Settings"));
      EXPECT_EQ(tbtest::ItemText(dialog, IDOK), translated("Close"));
      EXPECT_EQ(tbtest::ItemText(dialog, IDC_MOVE_DOWN), translated("Move Down"));
      EXPECT_EQ(tbtest::ItemText(dialog, IDC_ARTIST_TITLE_SOURCE),
                translated("Artist/Title Information Source..."));
      EXPECT_EQ(tbtest::TabLabels(GetDlgItem(dialog, IDC_KIND_TABS)),
                (std::vector<std::string>{translated("Decoders"), translated("Encoders")}));
      EXPECT_EQ(tbtest::ColumnHeadings(GetDlgItem(dialog, IDC_COMPONENT_LIST)),
                (std::vector<std::string>{translated("Plug-in Name"), translated("Vendor"),
                                          translated("File Name")}));
      tbtest::ClickLater(dialog, IDC_ARTIST_TITLE_SOURCE);
      HWND source = tbtest::WaitForDialog(thread, IDC_FILE_NAME_FORMAT);
      ASSERT_TRUE(source);
      EXPECT_EQ(tbtest::Text(source), translated("Get Artist/Title Information"));
      EXPECT_EQ(tbtest::ItemText(source, IDCANCEL), translated("Cancel"));
      EXPECT_EQ(tbtest::ItemText(source, IDC_SOURCE_NAME_ONLY),
                translated("Always from the file name"));
      tbtest::PressEscape(source);
      EXPECT_TRUE(tbtest::WaitGone(source));
      ASSERT_TRUE(tbtest::WaitForDialog(thread, IDC_NO_PLUGINS));
      tbtest::PressEscape(dialog);
      EXPECT_TRUE(tbtest::WaitGone(dialog));
    });
  }
}

}  // namespace
