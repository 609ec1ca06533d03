#include "saved_key.h"

#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

constexpr DWORD LONGEST_NAME = 16384;

}  // namespace

SavedKey::SavedKey(HKEY hive, std::wstring key, REGSAM view)
    : hive_(hive), key_(std::move(key)), view_(view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(hive_, key_.c_str(), 0, KEY_READ | view_, &opened) !=
      ERROR_SUCCESS) {
    return;
  }
  existed_ = true;
  std::wstring name(LONGEST_NAME, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD name_size = LONGEST_NAME;
    DWORD data_size = 0;
    DWORD type = 0;
    if (RegEnumValueW(opened, i, name.data(), &name_size, nullptr, &type,
                      nullptr, &data_size) != ERROR_SUCCESS) {
      break;
    }
    Value value{std::wstring(name.data(), name_size), type,
                std::vector<BYTE>(data_size)};
    name_size = LONGEST_NAME;
    if (RegEnumValueW(opened, i, name.data(), &name_size, nullptr, &type,
                      value.data.data(), &data_size) == ERROR_SUCCESS) {
      value.data.resize(data_size);
      values_.push_back(std::move(value));
    }
  }
  RegCloseKey(opened);
}

std::string SavedKey::describe() const {
  if (!existed_) return "not there";
  for (const Value& value : values_) {
    if (value.name.empty() &&
        (value.type == REG_SZ || value.type == REG_EXPAND_SZ)) {
      std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()),
                        value.data.size() / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      return std::string("\"")
          .append(native_messaging::narrow(text))
          .append("\"");
    }
  }
  return "there, with no default value";
}

bool SavedKey::restore() {
  if (restored_) return true;
  restored_ = true;
  if (!existed_) {
    LSTATUS deleted = RegDeleteKeyExW(hive_, key_.c_str(), view_, 0);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(hive_, key_.c_str(), 0, nullptr, 0,
                      KEY_READ | KEY_WRITE | view_, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring name(LONGEST_NAME, L'\0');
  for (;;) {
    DWORD name_size = LONGEST_NAME;
    if (RegEnumValueW(key, 0, name.data(), &name_size, nullptr, nullptr,
                      nullptr, nullptr) != ERROR_SUCCESS ||
        RegDeleteValueW(key, name.c_str()) != ERROR_SUCCESS) {
      break;
    }
  }
  bool whole = true;
  for (const Value& value : values_) {
    whole = RegSetValueExW(
                key, value.name.c_str(), 0, value.type, value.data.data(),
                static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS &&
            whole;
  }
  RegCloseKey(key);
  return whole;
}

}  // namespace tavorin::windows_check
