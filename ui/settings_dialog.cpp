#include "ui/settings_dialog.h"

#include <tunebay/component.h>

#include "base/fault_guard.h"
#include "core/manager.h"
#include "ui/artist_title_dialog.h"
#include "ui/common_controls.h"
#include "ui/resource.h"
#include "ui/translation.h"

namespace tb {
namespace ui {

namespace {
const int kColumns = 3;
const int kKinds = 4;  // decoders, encoders, convertors, downloaders
const int kImageWidth = 20;

int32_t KindOfIndex(unsigned kindIndex) { return kKindDecoder + static_cast<int32_t>(kindIndex); }
}  // namespace

AudioFormatSettingsDialog::AudioFormatSettingsDialog() noexcept
    : Dialog(IDD_AUDIO_FORMAT_SETTINGS) {}

AudioFormatSettingsDialog::~AudioFormatSettingsDialog() = default;

bool AudioFormatSettingsDialog::OnInitDialog() {
  noPlugins_.Attach(item(IDC_NO_PLUGINS));
  moveDown_.Attach(item(IDC_MOVE_DOWN));
  moveUp_.Attach(item(IDC_MOVE_UP));
  tabs_.Attach(item(IDC_KIND_TABS));
  list_.Attach(item(IDC_COMPONENT_LIST));
  about_.Attach(item(IDC_ABOUT));
  configure_.Attach(item(IDC_CONFIGURE));

  if (!Manager::GetInstance(manager_.put()) || !manager_) {
    manager_.reset();
    return true;
  }
  list_.SetExtendedStyle(LVS_EX_FULLROWSELECT);
  char text[256];
  for (int column = 0; column < kColumns; ++column) {
    LoadResourceString(IDS_PLUGIN_NAME + column, text, sizeof text);
    list_.InsertColumn(column, text);
  }
  images_ = LoadImageList(ResourceModule(), MAKEINTRESOURCEA(IDB_COMPONENT_KINDS), kImageWidth, 1,
                          RGB(255, 255, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  if (images_) list_.SetSmallImages(images_);

  catalogue_ = manager_.query<IComponentCollection>();
  if (catalogue_) {
    // A component of a kind this dialog does not show, or one that cannot be had,
    // is passed over: one odd plug-in must not take the others off the dialog.
    int counts[kKinds] = {};
    const int32_t count = catalogue_->GetCount();
    for (int32_t i = 0; i < count; ++i) {
      com_ptr<IComponent> component;
      if (!catalogue_->GetItem(i, component.put()) || !component) continue;
      const int32_t kindIndex = component->GetKind() - kKindDecoder;
      if (kindIndex >= 0 && kindIndex < kKinds) ++counts[kindIndex];
    }
    for (unsigned kindIndex = 0; kindIndex < kKinds; ++kindIndex) {
      if (counts[kindIndex] == 0) continue;
      LoadResourceString(IDS_DECODERS + static_cast<int>(kindIndex), text, sizeof text);
      tabs_.InsertTab(static_cast<int>(tabKinds_.size()), text);
      tabKinds_.push_back(kindIndex);
    }
    if (tabKinds_.empty()) {
      list_.Show(false);
      // The text lies on the tab control, which was created after it: bring it up.
      SetWindowPos(noPlugins_.get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      noPlugins_.Show(true);
    }
  }
  order_ = manager_.query<ISourceOrder>();
  ChangeTab();
  translator_ = TranslateDialog(window());
  return true;
}

bool AudioFormatSettingsDialog::ShowsDecoders() const noexcept {
  return currentTab_ >= 0 && static_cast<size_t>(currentTab_) < tabKinds_.size() &&
         tabKinds_[currentTab_] == 0;
}

void AudioFormatSettingsDialog::StoreOrder() {
  if (!ShowsDecoders() || !order_) return;
  std::vector<IComponent*> components;
  const int rows = list_.RowCount();
  for (int row = 0; row < rows; ++row) {
    components.push_back(static_cast<IComponent*>(list_.RowData(row)));
  }
  if (!components.empty()) {
    order_->SetSourceOrder(components.data(), static_cast<int32_t>(components.size()));
  }
}

void AudioFormatSettingsDialog::ClearList() {
  // Row by row from the end, each reference given up only once its row is gone, so
  // that no notification sent meanwhile finds a row whose component was released.
  for (int row = list_.RowCount() - 1; row >= 0; --row) {
    IComponent* component = static_cast<IComponent*>(list_.RowData(row));
    list_.DeleteRow(row);
    if (component) component->Release();
  }
  list_.DeleteAllRows();
}

void AudioFormatSettingsDialog::ChangeTab() {
  StoreOrder();
  ClearList();
  currentTab_ = tabs_.Selected();
  const bool decoders = ShowsDecoders() && order_;
  moveUp_.Show(decoders);
  moveDown_.Show(decoders);
  if (currentTab_ >= 0 && static_cast<size_t>(currentTab_) < tabKinds_.size()) {
    com_ptr<IComponentOrigin> origins = manager_.query<IComponentOrigin>();
    const unsigned kindIndex = tabKinds_[currentTab_];
    com_ptr<IComponentCollection> source = catalogue_;
    if (kindIndex == 0 && order_) {
      source.reset();
      order_->GetOrderedComponents(kKindDecoder, source.put());
    }
    const int32_t count = source ? source->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i) {
      IComponent* component = nullptr;
      if (!source->GetItem(i, &component) || !component) break;
      if (component->GetKind() != KindOfIndex(kindIndex)) {
        component->Release();
        continue;
      }
      // The row keeps the reference.
      const int row = list_.InsertRow(list_.RowCount(), "", static_cast<int>(kindIndex), component);
      if (row < 0) {
        component->Release();
        continue;
      }
      FillRow(row, component, origins.get());
    }
  }
  RECT client{};
  GetClientRect(list_.get(), &client);
  for (int column = 0; column < kColumns; ++column) {
    list_.SetColumnWidth(column, client.right / kColumns);
  }
  UpdateButtons();
}

void AudioFormatSettingsDialog::FillRow(int row, IComponent* component, IComponentOrigin* origins) {
  list_.SetText(row, 0, component->GetName());
  com_ptr<IComponent> held(component);
  if (com_ptr<IComponentAbout> about = held.query<IComponentAbout>()) {
    list_.SetText(row, 1, about->GetVendor());
  }
  ComponentOrigin origin{};
  if (origins && origins->GetComponentOrigin(component, &origin)) {
    origin.moduleFileName[kOriginNameSize - 1] = '\0';
    list_.SetText(row, 2, origin.moduleFileName);
  }
}

IComponent* AudioFormatSettingsDialog::CurrentComponent() const noexcept {
  const int row = list_.FocusedRow();
  return row < 0 ? nullptr : static_cast<IComponent*>(list_.RowData(row));
}

void AudioFormatSettingsDialog::UpdateButtons() {
  bool configure = false, about = false, up = false, down = false;
  if (IComponent* current = CurrentComponent()) {
    com_ptr<IComponent> component(current);
    configure = static_cast<bool>(component.query<ISettingsDialog>());
    if (com_ptr<IComponentAbout> box = component.query<IComponentAbout>()) {
      about = box->HasAboutBox();
    }
    const int row = list_.FocusedRow();
    up = row > 0;
    down = row < list_.RowCount() - 1;
  }
  configure_.Enable(configure);
  about_.Enable(about);
  moveUp_.Enable(up);
  moveDown_.Enable(down);
}

void AudioFormatSettingsDialog::Configure() {
  IComponent* current = CurrentComponent();
  if (!current) return;
  com_ptr<ISettingsDialog> settings = com_ptr<IComponent>(current).query<ISettingsDialog>();
  if (!settings) return;
  // The component's own dialog is its code: whatever it raises ends here.
  ISettingsDialog* dialog = settings.get();
  Guarded([dialog] { dialog->ShowSettingsDialog(); });
}

void AudioFormatSettingsDialog::ShowAbout() {
  IComponent* current = CurrentComponent();
  if (!current) return;
  com_ptr<IComponentAbout> about = com_ptr<IComponent>(current).query<IComponentAbout>();
  if (!about || !about->HasAboutBox()) return;
  IComponentAbout* box = about.get();
  Guarded([box] { box->ShowAboutBox(); });
}

void AudioFormatSettingsDialog::Move(int step) {
  const int row = list_.FocusedRow();
  if (row < 0 || (step < 0 && row == 0) || (step > 0 && row >= list_.RowCount() - 1)) return;
  IComponent* component = static_cast<IComponent*>(list_.RowData(row));
  if (!component) return;
  com_ptr<IComponentOrigin> origins = manager_.query<IComponentOrigin>();
  list_.SetRedraw(false);
  list_.DeleteRow(row);  // the row's reference moves to the new row
  const int at = list_.InsertRow(row + step, "-", 0, component);
  if (at >= 0) {
    FillRow(at, component, origins.get());
    list_.SelectAndFocus(at);
    SendMessageA(list_.get(), LVM_ENSUREVISIBLE, at, FALSE);
  } else {
    component->Release();
  }
  list_.SetRedraw(true);
}

void AudioFormatSettingsDialog::EditArtistTitleSource() {
  ArtistTitleSourceDialog dialog;
  dialog.source = artistTitleSource;
  dialog.fileNameFormat = fileNameFormat;
  // Owned by this dialog, which it disables while it runs, whichever window happens to
  // be active when the click arrives.
  if (dialog.RunModal(window()) != IDOK) return;
  artistTitleSource = dialog.source;
  fileNameFormat = dialog.fileNameFormat;
}

bool AudioFormatSettingsDialog::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_CONFIGURE:
      Configure();
      return true;
    case IDC_ABOUT:
      ShowAbout();
      return true;
    case IDC_ARTIST_TITLE_SOURCE:
      EditArtistTitleSource();
      return true;
    case IDC_MOVE_UP:
      Move(-1);
      return true;
    case IDC_MOVE_DOWN:
      Move(1);
      return true;
    default:
      return false;
  }
}

bool AudioFormatSettingsDialog::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  if (header.idFrom == IDC_COMPONENT_LIST && header.code == NM_DBLCLK) {
    Configure();
    return true;
  }
  if (header.idFrom == IDC_COMPONENT_LIST && header.code == LVN_ITEMCHANGED) {
    UpdateButtons();
    return true;
  }
  if (header.idFrom == IDC_KIND_TABS && header.code == TCN_SELCHANGE) {
    ChangeTab();
    return true;
  }
  return false;
}

void AudioFormatSettingsDialog::OnOK() {
  if (!UpdateData(true)) return;
  StoreOrder();
  ClearList();
  End(IDOK);
}

void AudioFormatSettingsDialog::OnCancel() {
  ClearList();
  End(IDCANCEL);
}

void AudioFormatSettingsDialog::OnDestroy() {
  // Both ways of closing have cleared the list already; a window destroyed any other
  // way still gives its rows' references back.
  ClearList();
  translator_.reset();
}

}  // namespace ui
}  // namespace tb
