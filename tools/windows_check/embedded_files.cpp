#include "embedded_files.h"

#include <windows.h>

#include <string_view>

#include "embedded_ids.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

std::string system_error(std::string_view what, const std::wstring& path) {
  return std::string(what) + " " + native_messaging::narrow(path) +
         " failed with error " + std::to_string(GetLastError());
}

std::expected<std::string_view, std::string> resource_bytes(int id) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA);
  HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    return std::unexpected("this program lacks its resource " +
                           std::to_string(id));
  }
  return std::string_view(static_cast<const char*>(bytes),
                          SizeofResource(nullptr, found));
}

int resource_id(EmbeddedFile file) {
  switch (file) {
    case EmbeddedFile::Host: return TAVORIN_EMBEDDED_HOST;
    case EmbeddedFile::Script: return TAVORIN_EMBEDDED_SCRIPT;
    case EmbeddedFile::App: return TAVORIN_EMBEDDED_APP;
  }
  return 0;
}

}  // namespace

std::expected<void, std::string> write_embedded(EmbeddedFile file,
                                                const std::wstring& path) {
  auto bytes = resource_bytes(resource_id(file));
  if (!bytes) return std::unexpected(bytes.error());
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    return std::unexpected(system_error("creating", path));
  }
  DWORD written = 0;
  bool whole = WriteFile(out, bytes->data(), static_cast<DWORD>(bytes->size()),
                         &written, nullptr) &&
               written == bytes->size();
  CloseHandle(out);
  if (!whole) return std::unexpected(system_error("writing", path));
  return {};
}

std::expected<void, std::string> place_host(const std::wstring& given,
                                            const std::wstring& path) {
  if (given.empty()) return write_embedded(EmbeddedFile::Host, path);
  if (!CopyFileW(given.c_str(), path.c_str(), FALSE)) {
    return std::unexpected(system_error("copying the host to", path));
  }
  return {};
}

}  // namespace tavorin::windows_check
