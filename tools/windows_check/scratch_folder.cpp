#include "scratch_folder.h"

#include <windows.h>

#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

constexpr int REMOVE_TRIES = 20;
constexpr DWORD REMOVE_PAUSE_MS = 250;

std::string system_error(std::string_view what) {
  return std::string(what) + " failed with error " +
         std::to_string(GetLastError());
}

std::wstring without_slash(const std::wstring& folder) {
  if (!folder.empty() && folder.back() == L'\\') {
    return folder.substr(0, folder.size() - 1);
  }
  return folder;
}

}  // namespace

std::expected<ScratchFolder, std::string> ScratchFolder::create() {
  wchar_t temp[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) {
    return std::unexpected(system_error("GetTempPathW"));
  }
  std::wstring path = std::wstring(temp, length) + L"tavorin windows check " +
                      std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(GetTickCount64()) + L"\\";
  if (!CreateDirectoryW(path.c_str(), nullptr)) {
    return std::unexpected(
        system_error("creating " + native_messaging::narrow(path)));
  }
  return ScratchFolder(path);
}

std::expected<std::wstring, std::string> ScratchFolder::make_folder(
    std::wstring_view name) {
  std::wstring folder = path_ + std::wstring(name) + L"\\";
  if (!CreateDirectoryW(folder.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return std::unexpected(
        system_error("creating " + native_messaging::narrow(folder)));
  }
  return folder;
}

std::string ScratchFolder::remove() {
  if (path_.empty()) return "";
  for (int attempt = 0; attempt < REMOVE_TRIES; ++attempt) {
    if (remove_tree(path_)) {
      path_.clear();
      return "";
    }
    Sleep(REMOVE_PAUSE_MS);
  }
  std::string left = native_messaging::narrow(path_);
  path_.clear();
  return left;
}

bool remove_tree(const std::wstring& folder) {
  std::wstring base = without_slash(folder);
  WIN32_FIND_DATAW entry{};
  HANDLE search = FindFirstFileW((base + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES;
  }
  do {
    std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = base + L"\\" + name;
    bool is_folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool is_link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (is_folder && is_link) {
      RemoveDirectoryW(path.c_str());  // the link only, never its target
    } else if (is_folder) {
      remove_tree(path);
    } else {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return RemoveDirectoryW(base.c_str()) != 0 ||
         GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace tavorin::windows_check
