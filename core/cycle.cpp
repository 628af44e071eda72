// The initialise/finish cycle: the user's settings read and stored, the plug-ins
// loaded by the first Initialise and unloaded by the last Finish.
#include <windows.h>

#include <string>

#include "core/globals.h"
#include "core/manager.h"
#include "core/order_text.h"
#include "core/settings_store.h"
#include "core/trace.h"

namespace tb {

bool Manager::InsideCycle() const noexcept { return cycleThread_ == GetCurrentThreadId(); }

namespace {

// Initialise or Finish called back from plug-in code that the cycle itself runs (a
// component's Setup or Shutdown, a library's entry points): carrying it out would scan
// or unload again beneath the running pass, without end. There is no error slot, so
// the code goes to the thread's last error.
bool RefuseReentry(const char* operation) noexcept {
  Trace("%s called from inside a plug-in scan or unload is refused\n", operation);
  SetLastError(result::WrongCall);
  return false;
}

}  // namespace

bool TB_STDCALL Manager::Initialise() noexcept {
  if (InsideCycle()) return RefuseReentry("Initialise");
  // Nested calls only count. The host makes the first Initialise and the last Finish
  // from one thread at a time; the test is repeated under the lock all the same, so
  // that two first calls racing each other cannot load the plug-ins twice.
  if (InterlockedCompareExchange(&initCount_, 0, 0) != 0) {
    InterlockedIncrement(&initCount_);
    return true;
  }
  LockGuard lock(GlobalLock());
  if (InterlockedCompareExchange(&initCount_, 0, 0) == 0) {
    // The one catch of the initialise path. Only allocation can throw here; what was
    // read and loaded before it stays, and the manager counts as initialised all the
    // same, so that the host's Finish still pairs with this call.
    CycleScope scope(*this);
    try {
      ReadSettings();
      if (pluginFolder_.empty()) pluginFolder_ = ".";
      ScanPlugins();
    } catch (...) {
    }
  }
  InterlockedIncrement(&initCount_);
  return true;
}

bool TB_STDCALL Manager::Finish() noexcept {
  if (InsideCycle()) return RefuseReentry("Finish");
  {
    LockGuard lock(GlobalLock());
    WriteSettings();
  }
  if (InterlockedCompareExchange(&initCount_, 0, 0) == 0) return false;
  if (!IsReadyToFinish()) return false;
  if (InterlockedDecrement(&initCount_) > 0) return true;
  LockGuard lock(GlobalLock());
  CycleScope scope(*this);
  UnloadPlugins();
  return true;
}

void Manager::ReadSettings() {
  const char* name1 = keyName1_.c_str();
  const char* name2 = keyName2_.c_str();
  // A value that cannot be read leaves its member as it was.
  ReadDwordSetting(name1, name2, kSettingsSection, nullptr, kArtistTitleSourceValue,
                   &artistTitleSource_);
  ReadDwordSetting(name1, name2, kSettingsSection, nullptr, kFileNameFormatValue,
                   &artistTitleFileNameFormat_);
  // A throw leaves settingsRead_ false, so Finish does not store unread values.
  sourceOrder_ =
      SplitOrderText(ReadTextSetting(name1, name2, kSettingsSection, nullptr, kSourceOrderValue));
  settingsRead_ = true;
}

void Manager::WriteSettings() {
  // Until the settings have been read, the members hold initial values (or whatever
  // the host set), and storing them would replace the user's settings with values
  // that were never read.
  if (!settingsRead_) return;
  const char* name1 = keyName1_.c_str();
  const char* name2 = keyName2_.c_str();
  WriteDwordSetting(name1, name2, kSettingsSection, nullptr, kArtistTitleSourceValue,
                    artistTitleSource_);
  WriteDwordSetting(name1, name2, kSettingsSection, nullptr, kFileNameFormatValue,
                    artistTitleFileNameFormat_);
  try {
    // Kept within what the store can read back: an over-long text would be read as
    // empty, losing the whole order; this way only its least preferred keys go.
    const std::string text = JoinOrderText(sourceOrder_, kMaxTextSettingLength);
    WriteTextSetting(name1, name2, kSettingsSection, nullptr, kSourceOrderValue, text.c_str());
  } catch (...) {
  }
}

}  // namespace tb
