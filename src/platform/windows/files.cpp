#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "platform/transfer.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/file_sharing.h"
#include "platform/windows/owned_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_platform.h"
#include "text/utf8.h"

namespace tavorin {

namespace {

DWORD clamp_to_dword(std::size_t size) {
  constexpr std::size_t LARGEST = std::numeric_limits<DWORD>::max();
  return static_cast<DWORD>(size < LARGEST ? size : LARGEST);
}

Result<std::size_t> read_some(HANDLE file, std::span<char> buffer) {
  DWORD got = 0;
  if (!ReadFile(file, buffer.data(), clamp_to_dword(buffer.size()), &got,
                nullptr)) {
    return std::unexpected(last_error());
  }
  return got;
}

Result<std::size_t> write_some(HANDLE file, std::string_view bytes) {
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), clamp_to_dword(bytes.size()), &written,
                 nullptr)) {
    return std::unexpected(last_error());
  }
  return written;
}

// A file on a disk, not a device, a pipe or a link, and no larger than the
// limit: anything else could be read without end.
bool is_small_disk_file(HANDLE file, std::size_t limit) {
  if (GetFileType(file) != FILE_TYPE_DISK) return false;
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) != 0 && size.QuadPart >= 0 &&
         static_cast<std::uint64_t>(size.QuadPart) <= limit;
}

// The file opened is the name itself, not what a link names, and a plain
// file on a disk.
bool is_plain_disk_file(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileType(file) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(file, &information) != 0 &&
         (information.dwFileAttributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

Status truncate_to_empty(HANDLE file) {
  FILE_END_OF_FILE_INFO end_of_file{};
  end_of_file.EndOfFile.QuadPart = 0;
  if (!SetFileInformationByHandle(file, FileEndOfFileInfo, &end_of_file,
                                  sizeof end_of_file)) {
    return std::unexpected(last_error());
  }
  return {};
}

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

Result<std::string> WindowsPlatform::read_text_file(std::string_view path,
                                                    std::size_t limit) {
  std::vector<wchar_t> wide = to_wide_path(path);
  OwnedHandle file(CreateFileW(wide.data(), GENERIC_READ, SHARE_EVERYTHING,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!file.is_open()) return std::unexpected(last_error());
  if (!is_small_disk_file(file.get(), limit)) {
    return std::unexpected(NOT_A_SMALL_FILE_ERROR);
  }
  Result<std::string> content = read_to_end_within(
      [&](std::span<char> buffer) { return read_some(file.get(), buffer); },
      limit);
  if (content && !is_valid_utf8(*content)) {
    return std::unexpected(INVALID_UTF8_ERROR);
  }
  return content;
}

Status WindowsPlatform::write_file(std::string_view path,
                                   std::string_view content) {
  std::vector<wchar_t> wide = to_wide_path(path);
  // A link planted under the marker's name is opened as itself, not
  // followed, and then left alone.
  OwnedHandle file(CreateFileW(
      wide.data(), GENERIC_WRITE, SHARE_EVERYTHING, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.is_open()) return std::unexpected(last_error());
  // OPEN_ALWAYS keeps what an existing file holds; the old content must not
  // outlive the new.
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!is_plain_disk_file(file.get())) {
    return std::unexpected(NOT_A_SMALL_FILE_ERROR);
  }
  if (existed) {
    if (Status emptied = truncate_to_empty(file.get()); !emptied) {
      return emptied;
    }
  }
  return write_fully(
      [&](std::string_view rest) { return write_some(file.get(), rest); },
      content);
}

}  // namespace tavorin
