#include "windows/registry.h"

#include <windows.h>

#include "windows/wide.h"

namespace tavorin::native_messaging {

namespace {

class Key {
 public:
  Key(HKEY root, const std::wstring& path, REGSAM view) {
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key_) !=
        ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }

  // A value of one of the string types, without its closing nulls, and
  // the type it has.
  std::optional<std::pair<std::wstring, DWORD>> string_value(
      const wchar_t* name) const {
    if (key_ == nullptr) return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)) {
      return std::nullopt;
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_, name, nullptr, &type,
                         reinterpret_cast<BYTE*>(value.data()),
                         &bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return std::pair(value, type);
  }

  // A REG_SZ or REG_EXPAND_SZ value, and whether it was the latter.
  std::optional<std::pair<std::wstring, bool>> typed_text(
      const wchar_t* name) const {
    auto value = string_value(name);
    if (!value || value->second == REG_MULTI_SZ) return std::nullopt;
    return std::pair(value->first, value->second == REG_EXPAND_SZ);
  }

  std::optional<std::wstring> text(const wchar_t* name) const {
    auto typed = typed_text(name);
    if (!typed) return std::nullopt;
    return typed->first;
  }

  // Any string value; a REG_MULTI_SZ's strings one per line.
  std::optional<std::wstring> lines(const wchar_t* name) const {
    auto value = string_value(name);
    if (!value) return std::nullopt;
    for (wchar_t& unit : value->first) {
      if (unit == L'\0') unit = L'\n';
    }
    return value->first;
  }

  bool exists() const { return key_ != nullptr; }

  std::optional<DWORD> number(const wchar_t* name) const {
    if (key_ == nullptr) return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof value;
    if (RegQueryValueExW(key_, name, nullptr, &type,
                         reinterpret_cast<BYTE*>(&value),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD) {
      return std::nullopt;
    }
    return value;
  }

  std::vector<std::wstring> all_texts() const {
    std::vector<std::wstring> texts;
    for (DWORD i = 0; key_ != nullptr; ++i) {
      wchar_t name[256];
      DWORD length = 256;
      if (RegEnumValueW(key_, i, name, &length, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
        break;
      }
      if (std::optional<std::wstring> value = text(name)) {
        texts.push_back(*value);
      }
    }
    return texts;
  }

 private:
  HKEY key_ = nullptr;
};

// The text with the environment's %NAME% variables put in; an unknown name
// stays as it is written.
std::optional<std::wstring> expanded(const std::wstring& text) {
  DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring result(needed, L'\0');
  DWORD written =
      ExpandEnvironmentStringsW(text.c_str(), result.data(), needed);
  if (written == 0 || written > needed) return std::nullopt;
  result.resize(written - 1);
  return result;
}

std::string hive_name(HKEY hive) {
  return hive == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\";
}

}  // namespace

std::string RegistryPlace::describe() const {
  return std::string(machine ? "HKLM\\" : "HKCU\\") + key +
         (view_32_bit ? " (32-bit view)" : " (64-bit view)");
}

std::vector<RegistryPlace> registry_places(const Browser& browser,
                                           std::string_view host,
                                           bool user_hosts_allowed) {
  std::vector<RegistryPlace> places;
  for (bool machine : {false, true}) {
    if (!machine && !user_hosts_allowed) continue;
    for (bool view_32_bit : {true, false}) {
      // Firefox reads the user's key in the 64-bit view only.
      if (!machine && view_32_bit && browser.family == Family::Firefox) {
        continue;
      }
      for (std::string_view key : browser.registry_keys) {
        if (key.empty()) continue;
        places.push_back({machine, view_32_bit,
                          std::string(key) + "\\" + std::string(host)});
      }
    }
  }
  return places;
}

std::optional<RegistryText> read_manifest_path(const Browser& browser,
                                               const RegistryPlace& place) {
  Key key(place.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
          widen(place.key),
          place.view_32_bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
  auto typed = key.typed_text(nullptr);
  if (!typed) return std::nullopt;
  auto [stored, expandable] = *typed;
  if (expandable && browser.family == Family::Firefox) {
    return RegistryText{narrow(stored), narrow(stored), true, true};
  }
  std::optional<std::wstring> value =
      expandable ? expanded(stored) : std::optional(stored);
  // The browser reads on when it cannot expand the value.
  if (!value) return std::nullopt;
  return RegistryText{narrow(*value), narrow(stored), expandable};
}

std::optional<std::uint32_t> registry_number(bool machine, std::string_view key,
                                             std::string_view name) {
  return Key(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, widen(key),
             KEY_WOW64_64KEY)
      .number(widen(name).c_str());
}

std::optional<std::string> registry_string(bool machine, std::string_view key,
                                           std::string_view name) {
  std::optional<std::wstring> value =
      Key(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, widen(key),
          KEY_WOW64_64KEY)
          .text(widen(name).c_str());
  if (!value) return std::nullopt;
  return narrow(*value);
}

std::optional<std::string> registry_text(bool machine, std::string_view key,
                                         std::string_view name) {
  std::optional<std::wstring> value =
      Key(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, widen(key),
          KEY_WOW64_64KEY)
          .lines(widen(name).c_str());
  if (!value) return std::nullopt;
  return narrow(*value);
}

bool registry_key_exists(bool machine, std::string_view key) {
  return Key(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, widen(key),
             KEY_WOW64_64KEY)
      .exists();
}

std::optional<PolicyNumber> policy_number(const Browser& browser,
                                          std::string_view name) {
  std::wstring key = widen(browser.policy_key);
  std::wstring value_name = widen(name);
  // Machine policy wins over the user's, as the browser applies them.
  for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    if (auto value =
            Key(hive, key, KEY_WOW64_64KEY).number(value_name.c_str())) {
      return PolicyNumber{hive_name(hive) + std::string(browser.policy_key),
                          *value};
    }
  }
  return std::nullopt;
}

PolicyList policy_list(const Browser& browser, std::string_view list) {
  std::string key = std::string(browser.policy_key) + "\\" + std::string(list);
  PolicyList found;
  for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const std::wstring& entry :
         Key(hive, widen(key), KEY_WOW64_64KEY).all_texts()) {
      found.entries.push_back(narrow(entry));
    }
    if (!found.entries.empty()) {
      found.key = hive_name(hive) + key;
      break;
    }
  }
  return found;
}

bool user_hosts_allowed(const Browser& browser) {
  // Firefox has no such policy: it always reads HKCU.
  if (browser.family == Family::Firefox) return true;
  std::optional<PolicyNumber> allowed =
      policy_number(browser, "NativeMessagingUserLevelHosts");
  return !allowed || allowed->value != 0;
}

}  // namespace tavorin::native_messaging
