#include "context.h"

#include <windows.h>

namespace tavorin::windows_check {

namespace {

std::optional<std::wstring> variable(const wchar_t* name) {
  constexpr DWORD LONGEST = 32767;
  std::wstring value(LONGEST, L'\0');
  DWORD length = GetEnvironmentVariableW(name, value.data(), LONGEST);
  if (length == 0 || length >= LONGEST) return std::nullopt;
  value.resize(length);
  return value;
}

void set_variable(const wchar_t* name, const std::optional<std::wstring>& to) {
  SetEnvironmentVariableW(name, to ? to->c_str() : nullptr);
}

}  // namespace

TemporaryFolderForHosts::TemporaryFolderForHosts(const std::wstring& folder)
    : tmp_(variable(L"TMP")), temp_(variable(L"TEMP")) {
  SetEnvironmentVariableW(L"TMP", folder.c_str());
  SetEnvironmentVariableW(L"TEMP", folder.c_str());
}

TemporaryFolderForHosts::~TemporaryFolderForHosts() {
  set_variable(L"TMP", tmp_);
  set_variable(L"TEMP", temp_);
}

}  // namespace tavorin::windows_check
