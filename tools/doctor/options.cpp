#include "options.h"

#include <string_view>

#include "system.h"

namespace tavorin::doctor {

namespace {

using native_messaging::BROWSERS;

std::string browser_names(std::string_view separator) {
  std::string names;
  for (const auto& browser : BROWSERS) {
    if (!knows_browser(browser)) continue;
    if (!names.empty()) names += separator;
    names += browser.name;
  }
  return names;
}

std::expected<void, std::string> choose_browser(std::string_view name,
                                                Options& options) {
  const native_messaging::Browser* browser =
      native_messaging::find_browser(name);
  if (browser == nullptr || !knows_browser(*browser)) {
    return std::unexpected("unknown browser: " + std::string(name) + " (" +
                           browser_names(", ") + ")");
  }
  options.browsers = {browser};
  return {};
}

}  // namespace

std::expected<Options, std::string> parse_options(
    std::span<const std::string> arguments) {
  Options options;
  for (const auto& browser : BROWSERS) {
    if (knows_browser(browser)) options.browsers.push_back(&browser);
  }
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    std::expected<void, std::string> chosen;
    if (argument == "--json") {
      options.json = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--browser" && i + 1 < arguments.size()) {
      chosen = choose_browser(arguments[++i], options);
    } else if (argument.starts_with("--browser=")) {
      chosen = choose_browser(argument.substr(10), options);
    } else if (argument == "--send" && i + 1 < arguments.size()) {
      options.send = arguments[++i];
    } else if (argument == "--send") {
      return std::unexpected(
          "--send needs a message, such as '{\"cmd\":\"ping\"}', or - "
          "to read them from standard input");
    } else if (argument == "--browser") {
      return std::unexpected("--browser needs a name (" + browser_names(", ") +
                             ")");
    } else {
      return std::unexpected("unknown option: " + std::string(argument));
    }
    if (!chosen) return std::unexpected(chosen.error());
  }
  if (options.send && options.json) {
    return std::unexpected("--send prints the answers as they come: no --json");
  }
  return options;
}

std::string help_text() {
  return "usage: tavorin_doctor [--browser " + browser_names("|") +
         "] [--json]\n"
         "       tavorin_doctor [--browser NAME] --send MESSAGE|-\n"
         "\n"
         "Tells why a browser extension cannot reach the Tavorin Desktop "
         "App. In order:\n"
         "  1. registration: where each browser looks for the host "
         "com.tavorin.desktop,\n"
         "     in its order, and which registration wins\n"
         "  2. policies that hide or block the host (Windows registry; "
         "Firefox's\n"
         "     policies.json, after its manifest)\n"
         "  3. the winning manifest, read as the browser reads it\n"
         "  4. the desktop app: its lock files and port file in the host's "
         "temporary\n"
         "     directory, and which port of 127.0.0.1 accepts a connection\n"
         "  5. a live launch: the registered host started as the browser "
         "starts it,\n"
         "     its input closed at once, so that no message reaches the app\n"
         "Each check shows what it found; each failed one, the action that "
         "fixes it.\n"
         "\n"
         "  --browser NAME  checks 1 to 3 for that browser only\n"
         "  --json          one JSON object: {\"ok\": ..., \"checks\": "
         "[{\"check\", \"ok\",\n"
         "                  \"detail\", \"fix\"}, ...]}\n"
         "  --send MESSAGE  instead of the checks: sends the JSON message "
         "through the\n"
         "                  registered host as the browser (the first "
         "registered one,\n"
         "                  or --browser's) would, prints each answer on "
         "standard\n"
         "                  output and then the host's log; --send - sends "
         "each line\n"
         "                  of standard input as one message\n"
         "  --help          this text\n"
         "\n"
         "Without --send the doctor changes nothing: it writes no registry "
         "key and no\n"
         "file, and sends the app no message (it opens a connection and "
         "closes it at\n"
         "once). The host that the live launch starts writes its launch "
         "marker,\n"
         "shim_launched.txt in the temporary directory, as it does at every "
         "start.\n"
         "\n"
         "Exit status: 0 when a browser can start the host and the host "
         "reaches the\n"
         "app, 1 when something is wrong, 2 for a usage error. With --send: "
         "0 when\n"
         "every message got its answer, 1 otherwise.\n";
}

}  // namespace tavorin::doctor
