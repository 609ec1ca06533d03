#include <windows.h>

#include <algorithm>
#include <vector>

#include "checks.h"
#include "judgements.h"
#include "windows/registry.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

namespace nm = native_messaging;

HKEY hive(bool machine) {
  return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM view(bool view_32_bit) {
  return view_32_bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool key_exists(bool machine, const std::wstring& key, bool view_32_bit) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(hive(machine), key.c_str(), 0,
                    KEY_QUERY_VALUE | view(view_32_bit),
                    &opened) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

// Creates the key and every missing key above it, in one view; removes
// exactly those again when it goes.
class WrittenKey {
 public:
  WrittenKey(bool machine, const std::wstring& key, bool view_32_bit)
      : machine_(machine), view_32_bit_(view_32_bit) {
    for (std::size_t at = key.find(L'\\');; at = key.find(L'\\', at + 1)) {
      std::wstring part = key.substr(0, at);
      if (!key_exists(machine, part, view_32_bit)) {
        HKEY created = nullptr;
        if (RegCreateKeyExW(hive(machine), part.c_str(), 0, nullptr, 0,
                            KEY_WRITE | view(view_32_bit), nullptr, &created,
                            nullptr) != ERROR_SUCCESS) {
          return;
        }
        RegCloseKey(created);
        created_.push_back(part);
      }
      if (at == std::wstring::npos) break;
    }
    written_ = true;
  }
  WrittenKey(const WrittenKey&) = delete;
  WrittenKey& operator=(const WrittenKey&) = delete;
  ~WrittenKey() {
    for (auto key = created_.rbegin(); key != created_.rend(); ++key) {
      RegDeleteKeyExW(hive(machine_), key->c_str(), view(view_32_bit_), 0);
    }
  }
  bool written() const { return written_; }

 private:
  bool machine_;
  bool view_32_bit_;
  bool written_ = false;
  std::vector<std::wstring> created_;
};

// The key a browser's places name for the leaf: each browser's own first,
// once each.
std::vector<std::string> installer_keys(const std::string& leaf) {
  std::vector<std::string> keys;
  for (const nm::Browser& browser : nm::BROWSERS) {
    std::string key = std::string(browser.registry_keys.front()) + "\\" + leaf;
    if (std::ranges::find(keys, key) == keys.end()) keys.push_back(key);
  }
  return keys;
}

ViewSight look(bool machine, const std::string& key, bool view_32_bit) {
  std::wstring wide = nm::widen(key);
  ViewSight sight{machine, key, view_32_bit, false, false};
  WrittenKey written(machine, wide, view_32_bit);
  if (!written.written()) return sight;
  sight.seen_by_32_bit_view = key_exists(machine, wide, true);
  sight.seen_by_64_bit_view = key_exists(machine, wide, false);
  return sight;
}

}  // namespace

Check check_registry_views(Context& context) {
  std::string leaf =
      "com.tavorin.windows_check." + std::to_string(GetCurrentProcessId());
  std::vector<ViewSight> sights;
  std::vector<bool> hives = {false};
  if (context.elevated) hives.push_back(true);
  for (bool machine : hives) {
    for (const std::string& key : installer_keys(leaf)) {
      for (bool view_32_bit : {false, true}) {
        sights.push_back(look(machine, key, view_32_bit));
      }
    }
  }
  std::vector<BrowserPlaces> browsers;
  for (const nm::Browser& browser : nm::BROWSERS) {
    browsers.push_back({&browser, nm::registry_places(browser, leaf, true)});
  }
  Check check = judge_registry_views(sights, browsers);
  if (!context.elevated) {
    check.add_line(
        "HKLM: not written: that needs an administrator's prompt (the MSI "
        "and the script's /machine write there)");
  }
  if (context.wine && check.ok) {
    mark_not_measured(check, std::string(NOT_MEASURABLE_UNDER_WINE) +
                                 ": these are Wine's registry views");
  }
  return check;
}

}  // namespace tavorin::windows_check
