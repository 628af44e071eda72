// A plug-in folder for tests that run the real scan: copies of the test plug-ins
// (tests/plugins/tp_plugin) under the names a case needs, their configuration, the
// log they write, and a registry location of the test's own.
#ifndef TB_TESTS_CORE_PLUGIN_HARNESS_H
#define TB_TESTS_CORE_PLUGIN_HARNESS_H

#include <windows.h>

#include <tunebay/tunebay.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "plugins/tp_plugin/tp_log.h"
#include "support/test_support.h"

namespace tbtest {

/// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    SetEnvironmentVariableA(name_.c_str(), value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
};

/// The block the test plug-ins log into, published through TP_LOG while it lives.
class PluginLog {
 public:
  PluginLog() : log_(new TpLog()) {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<void*>(log_.get()));
    env_.reset(new ScopedEnv("TP_LOG", address));
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    const LONG length = std::min<LONG>(LONG(log_->length), LONG(sizeof log_->text));
    std::istringstream in(std::string(log_->text, static_cast<size_t>(length)));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  int Count(const std::string& line) const {
    const auto lines = Lines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }
  /// Position of the first line equal to `line`, -1 when there is none.
  int IndexOf(const std::string& line) const {
    const auto lines = Lines();
    auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
  }
  /// The modules whose "attach" lines appear, in that order: the load order.
  std::vector<std::string> Attached() const {
    std::vector<std::string> modules;
    for (const std::string& line : Lines()) {
      const size_t space = line.find(' ');
      if (line.compare(space + 1, std::string::npos, "attach") == 0) {
        modules.push_back(line.substr(0, space));
      }
    }
    return modules;
  }
  void Clear() { log_->length = 0; }
  std::string Text() const {
    std::string text;
    for (const std::string& line : Lines()) text += line + "\n";
    return text;
  }

 private:
  std::unique_ptr<TpLog> log_;
  std::unique_ptr<ScopedEnv> env_;
};

/// One catalogue entry as a host sees it through IComponentCollection and
/// IComponentOrigin.
struct CatalogueEntry {
  std::string name;
  int32_t kind;
  std::string module;
  int32_t index;
  bool operator==(const CatalogueEntry& o) const {
    return name == o.name && kind == o.kind && module == o.module && index == o.index;
  }
};

inline std::ostream& operator<<(std::ostream& out, const CatalogueEntry& e) {
  return out << "{" << e.name << ", " << e.kind << ", " << e.module << ", " << e.index << "}";
}

template <class I>
I* Query(IUnknown* object) {
  void* face = nullptr;
  if (FAILED(object->QueryInterface(tb::iid_of<I>(), &face))) return nullptr;
  return static_cast<I*>(face);
}

inline std::vector<CatalogueEntry> ReadCatalogue(tb::IManager* manager) {
  std::vector<CatalogueEntry> entries;
  tb::IComponentCollection* catalogue = Query<tb::IComponentCollection>(manager);
  tb::IComponentOrigin* origins = Query<tb::IComponentOrigin>(manager);
  EXPECT_NE(catalogue, nullptr);
  EXPECT_NE(origins, nullptr);
  if (!catalogue || !origins) return entries;
  for (int32_t i = 0; i < catalogue->GetCount(); ++i) {
    tb::IComponent* component = nullptr;
    if (!catalogue->GetItem(i, &component) || !component) continue;
    tb::ComponentOrigin origin{};
    EXPECT_TRUE(origins->GetComponentOrigin(component, &origin));
    entries.push_back(
        {component->GetName(), component->GetKind(), origin.moduleFileName, origin.index});
    component->Release();
  }
  origins->Release();
  catalogue->Release();
  return entries;
}

/// A temporary plug-in folder and everything a scan test needs around it.
class PluginFolder {
 public:
  /// `registryName` names the test's own settings key: Software\TunebayTests\<name>.
  explicit PluginFolder(const std::string& registryName) : registryName_(registryName) {
    DeleteSettings();
  }
  ~PluginFolder() {
    for (const std::string& base : modes_) {
      SetEnvironmentVariableA(("TP_MODE_" + base).c_str(), nullptr);
    }
    DeleteSettings();
  }

  const std::string& path() const { return folder_.path(); }
  PluginLog& log() { return log_; }
  const std::string& registryName() const { return registryName_; }

  /// Copies testplugins\<dll>.dll into the folder as `name` and gives the plug-in its
  /// tree and mode (see tp_log.h).
  void Add(const char* dll, const std::string& name, const std::string& tree = "",
           const std::string& mode = "") {
    EXPECT_TRUE(folder_.CopyIn(TestPluginFolder() + dll + ".dll", name)) << name;
    const std::string base = BaseOf(name);
    if (!tree.empty()) env_.emplace_back(new ScopedEnv("TP_TREE_" + base, tree));
    if (!mode.empty()) SetMode(base, mode);
  }
  /// Changes a plug-in's mode; it reads it at every call.
  void SetMode(const std::string& base, const std::string& mode) {
    SetEnvironmentVariableA(("TP_MODE_" + base).c_str(), mode.empty() ? nullptr : mode.c_str());
    modes_.push_back(base);
  }
  bool Write(const std::string& name, const std::string& bytes) {
    return folder_.Write(name, bytes);
  }
  /// Whether the copy `name` in this folder is loaded in the process.
  bool IsLoaded(const std::string& name) const {
    return GetModuleHandleA((path() + "\\" + name).c_str()) != nullptr;
  }

  /// Points a manager at this folder and at the test's registry location.
  void Configure(tb::IManager* manager) const {
    EXPECT_TRUE(manager->SetPluginFolder(path().c_str()));
    tb::IRegistryLocation* location = Query<tb::IRegistryLocation>(manager);
    ASSERT_NE(location, nullptr);
    EXPECT_TRUE(location->SetKeyName1("TunebayTests", nullptr));
    EXPECT_TRUE(location->SetKeyName2(registryName_.c_str(), nullptr));
    location->Release();
  }

  /// The settings key of this test.
  std::string SettingsKey() const {
    return "Software\\TunebayTests\\" + registryName_ + "\\Tunebay";
  }
  void DeleteSettings() const {
    RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\TunebayTests\\" + registryName_).c_str());
  }

  static std::string BaseOf(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    for (char& c : base) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return base;
  }

 private:
  std::string registryName_;
  TempFolder folder_;
  PluginLog log_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  std::vector<std::string> modes_;
};

/// Checks what the log says about one component after the last Finish: set up once,
/// shut down once, destroyed once (after its shutdown), never released too often.
inline ::testing::AssertionResult FinishedCleanly(const PluginLog& log, const std::string& base,
                                                  const std::string& name) {
  const std::string prefix = base + " ";
  const int setups = log.Count(prefix + "setup " + name);
  const int shutdowns = log.Count(prefix + "shutdown " + name);
  const int destroys = log.Count(prefix + "destroy " + name);
  const int over = log.Count(prefix + "overrelease " + name);
  if (setups == 1 && shutdowns == 1 && destroys == 1 && over == 0 &&
      log.IndexOf(prefix + "shutdown " + name) < log.IndexOf(prefix + "destroy " + name)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << base << "/" << name << ": setup " << setups << ", shutdown " << shutdowns
         << ", destroy " << destroys << ", overrelease " << over << "\n"
         << log.Text();
}

/// Checks that a library was unloaded with none of its components left alive.
inline ::testing::AssertionResult UnloadedEmpty(const PluginLog& log, const std::string& base) {
  if (log.Count(base + " detach live=0") == 1) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << base << " not detached empty\n" << log.Text();
}

}  // namespace tbtest

#endif  // TB_TESTS_CORE_PLUGIN_HARNESS_H
