#include <vector>

#include "platform/windows/file_sharing.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"

namespace tavorin {

namespace {

// A file that its owner holds open without sharing cannot be opened even
// for its attributes, but it is still listed in its directory.
bool listed_in_directory(const wchar_t* path) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileExW(path, FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool opens_for_attributes(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileInformationByHandle(file, &information) != 0;
}

}  // namespace

bool WindowsPlatform::path_exists(std::string_view path) {
  std::vector<wchar_t> wide = to_wide_path(path);
  // No access rights are asked for, only the entry's metadata; backup
  // semantics let a directory open too.
  OwnedHandle file(CreateFileW(wide.data(), 0, SHARE_EVERYTHING, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                               nullptr));
  if (file.is_open()) return opens_for_attributes(file.get());
  DWORD error = GetLastError();
  if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
    return false;
  }
  return listed_in_directory(wide.data());
}

}  // namespace tavorin
