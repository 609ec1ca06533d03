#include "app_for_hosts.h"

namespace tavorin::windows_check {

std::expected<AppForHosts, std::string> start_app_for_hosts(
    const std::wstring& folder) {
  auto app = StandInApp::start(folder);
  if (!app) {
    return std::unexpected("the stand-in app did not start: " + app.error());
  }
  return AppForHosts{std::move(*app),
                     std::make_unique<TemporaryFolderForHosts>(folder)};
}

}  // namespace tavorin::windows_check
