#pragma once

#include <expected>
#include <memory>
#include <string>

#include "context.h"
#include "example_app.h"

namespace tavorin::windows_check {

// The example app in a folder, and TMP and TEMP pointing at that folder so
// that every host started from here finds it; both last as long as this.
struct AppForHosts {
  std::unique_ptr<ExampleApp> app;
  std::unique_ptr<TemporaryFolderForHosts> temp;
};

std::expected<AppForHosts, std::string> start_app_for_hosts(
    const std::wstring& folder);

// The host to launch, placed as tavorin_shim.exe in its folder, and the
// example app it will find, started in another.
struct HostAndApp {
  std::wstring host;
  AppForHosts app;
};

std::expected<HostAndApp, std::string> place_host_and_start_app(
    const Context& context, const std::wstring& host_folder,
    const std::wstring& app_folder);

}  // namespace tavorin::windows_check
