#include "app_for_hosts.h"

#include "embedded_files.h"

namespace tavorin::windows_check {

std::expected<AppForHosts, std::string> start_app_for_hosts(
    const std::wstring& folder) {
  auto app = ExampleApp::start(folder);
  if (!app) {
    return std::unexpected("the example app did not start: " + app.error());
  }
  return AppForHosts{std::move(*app),
                     std::make_unique<TemporaryFolderForHosts>(folder)};
}

std::expected<HostAndApp, std::string> place_host_and_start_app(
    const Context& context, const std::wstring& host_folder,
    const std::wstring& app_folder) {
  std::wstring host = host_folder + L"tavorin_shim.exe";
  if (auto placed = place_host(context.options.host, host); !placed) {
    return std::unexpected(placed.error());
  }
  auto app = start_app_for_hosts(app_folder);
  if (!app) return std::unexpected(app.error());
  return HostAndApp{std::move(host), std::move(*app)};
}

}  // namespace tavorin::windows_check
