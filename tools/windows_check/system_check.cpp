#include <windows.h>

#include "checks.h"
#include "system_facts.h"
#include "windows/wide.h"

namespace tavorin::windows_check {

namespace {

std::string file_size(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    return "cannot be read: error " + std::to_string(GetLastError());
  }
  return std::to_string(data.nFileSizeLow) + " bytes";
}

}  // namespace

Check check_system(Context& context) {
  Check check = make_check(
      "system", "This system",
      "tavorin_windows_check " TAVORIN_CHECK_VERSION "\n" + windows_version());
  check.add_line(context.wine ? "under Wine " + *context.wine
                              : std::string("not under Wine"));
  check.add_line("user: " + user_name() +
                 (context.elevated ? ", an administrator's full rights"
                                   : ", not elevated"));
  check.add_line("host tested: " +
                 (context.options.host.empty()
                      ? std::string("the one this program carries")
                      : native_messaging::narrow(context.options.host) + " (" +
                            file_size(context.options.host) + ")"));
  check.add_line("scratch folder: " +
                 native_messaging::narrow(context.scratch.path()));
  check.ok = true;
  return check;
}

}  // namespace tavorin::windows_check
