#include <windows.h>

#include "cmd_line.h"
#include "platform/windows/error_codes.h"
#include "platform/windows/file_sharing.h"
#include "platform/windows/owned_handle.h"
#include "system.h"
#include "windows/launch.h"
#include "windows/registry.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

using native_messaging::ManifestProblem;
using native_messaging::narrow;
using native_messaging::widen;

std::string_view other_kind(HANDLE file) {
  switch (GetFileType(file)) {
    case FILE_TYPE_DISK: break;
    case FILE_TYPE_CHAR: return "a device";
    case FILE_TYPE_PIPE: return "a pipe";
    default: return "a special file";
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileInformationByHandle(file, &information) != 0 &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return "a folder";
  }
  return {};
}

// A size the system cannot tell reads as none: the read stops at the limit
// all the same.
std::uint64_t size_of(HANDLE file) {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) == 0 || size.QuadPart < 0) return 0;
  return static_cast<std::uint64_t>(size.QuadPart);
}

Result<std::size_t> read_some(HANDLE file, std::span<char> buffer) {
  DWORD got = 0;
  // The buffer is never larger than MAX_FILE_BYTES and one byte.
  if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                nullptr)) {
    return std::unexpected(last_error());
  }
  return got;
}

bool environment_variable_set(std::string_view name) {
  return GetEnvironmentVariableW(widen(name).c_str(), nullptr, 0) != 0;
}

// cmd.exe's own default for delayed expansion: the user's setting wins
// over the machine's, and /d does not turn it off.
bool delayed_expansion_by_default() {
  constexpr std::string_view KEY = "Software\\Microsoft\\Command Processor";
  for (bool machine : {false, true}) {
    if (auto value = native_messaging::registry_number(machine, KEY,
                                                       "DelayedExpansion")) {
      return *value == 1;
    }
  }
  return false;
}

}  // namespace

bool path_exists(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::expected<FileBytes, UnreadableFile> read_file_bytes(
    Platform& os, const std::string& path) {
  // Backup semantics let a folder open, so that it is named as one; a
  // device (CON, NUL) or a pipe opens at once and is refused before any
  // read.
  OwnedHandle file(CreateFileW(widen(path).c_str(), GENERIC_READ,
                               SHARE_EVERYTHING, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.is_open()) {
    return std::unexpected(cannot_read(os, path, last_error()));
  }
  FileNature nature{other_kind(file.get()), size_of(file.get())};
  return read_small_file(os, path, nature, [&](std::span<char> buffer) {
    return read_some(file.get(), buffer);
  });
}

std::string resolve_host_path(const std::string& manifest_path,
                              const std::string& path) {
  return narrow(
      native_messaging::resolve_host_path(widen(manifest_path), widen(path)));
}

std::vector<ManifestProblem> host_start_problems(
    const std::string& host_path, native_messaging::Family family) {
  // Firefox starts the program itself: no cmd.exe reads its path.
  const bool through_cmd = family == native_messaging::Family::Chromium;
  std::vector<ManifestProblem> problems;
  if (through_cmd) {
    problems = cmd_line_problems(
        host_path, {environment_variable_set, delayed_expansion_by_default()});
  }
  DWORD attributes = GetFileAttributesW(widen(host_path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    problems.push_back(
        {"\"path\" names " + host_path + ", which does not exist",
         "install the host there, or point \"path\" at it "
         "(install again with /path)"});
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    problems.push_back({"\"path\" names " + host_path + ", which is a folder",
                        "point \"path\" at tavorin_shim.exe itself"});
  }
  if (through_cmd && GetEnvironmentVariableW(L"COMSPEC", nullptr, 0) == 0) {
    problems.push_back(
        {"COMSPEC is not set, so the browser cannot start cmd.exe to start "
         "any host",
         "set COMSPEC to %SystemRoot%\\system32\\cmd.exe (System "
         "Properties, Environment Variables), then restart the browser"});
  }
  return problems;
}

}  // namespace tavorin::doctor
