#include <windows.h>

#include "system.h"
#include "windows/file_bytes.h"
#include "windows/launch.h"
#include "windows/wide.h"

namespace tavorin::doctor {

namespace {

using native_messaging::ManifestProblem;
using native_messaging::narrow;
using native_messaging::widen;

std::string error_text(DWORD code) {
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = length > 0 ? std::wstring(message, length) : L"";
  LocalFree(message);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' ||
                           text.back() == L' ')) {
    text.pop_back();
  }
  return narrow(text) + " (error " + std::to_string(code) + ")";
}

// The browser starts the host through cmd.exe, which reads an "&" outside
// quotes as the end of a command; the launch line quotes only what the
// browser chooses to, so a path holding one is not safe.
std::vector<ManifestProblem> ampersand_problem(const std::string& host_path) {
  if (host_path.find('&') == std::string::npos) return {};
  return {{"the host's path " + host_path +
               " contains \"&\", where cmd.exe ends the browser's command",
           "move the host to a folder without \"&\" and install again"}};
}

}  // namespace

bool path_exists(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::expected<std::string, std::string> read_file_bytes(
    const std::string& path) {
  auto bytes = native_messaging::read_file_bytes(widen(path));
  if (!bytes) return std::unexpected(error_text(bytes.error()));
  return *std::move(bytes);
}

std::string resolve_host_path(const std::string& manifest_path,
                              const std::string& path) {
  return narrow(
      native_messaging::resolve_host_path(widen(manifest_path), widen(path)));
}

std::vector<ManifestProblem> host_start_problems(const std::string& host_path) {
  std::vector<ManifestProblem> problems = ampersand_problem(host_path);
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
  if (GetEnvironmentVariableW(L"COMSPEC", nullptr, 0) == 0) {
    problems.push_back(
        {"COMSPEC is not set, so the browser cannot start cmd.exe to start "
         "any host",
         "set COMSPEC to %SystemRoot%\\system32\\cmd.exe (System "
         "Properties, Environment Variables), then restart the browser"});
  }
  return problems;
}

}  // namespace tavorin::doctor
