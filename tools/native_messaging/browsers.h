#pragma once

#include <array>
#include <string_view>

namespace tavorin::native_messaging {

// How a browser reads a manifest and starts its host: the Chromium family
// (Chrome, Chromium, Edge, Brave) takes the first manifest it finds, allows
// origins and starts the host with the extension's origin; Firefox takes the
// first manifest valid for the extension, allows IDs and starts the host
// with the manifest's path and the extension's ID.
enum class Family { Chromium, Firefox };

// Where a browser looks for a host's manifest, and the policy key an
// administrator sets for it.
struct Browser {
  std::string_view name;
  std::string_view title;
  Family family;
  // Registry keys under HKCU\ and HKLM\, in the order the browser reads
  // them (each followed by \<host name>); Edge falls back to Chromium's and
  // Chrome's. Every Chromium build not branded Chrome reads Chromium's key,
  // then Chrome's (launch_context_win.cc, CHROMIUM_BRANDING); Brave patches
  // nothing there, so it never reads a key of its own.
  std::array<std::string_view, 3> registry_keys;
  std::string_view policy_key;
  // On Linux: the per-user folder below $HOME, then the system folders.
  std::string_view user_folder;
  std::array<std::string_view, 2> system_folders;
};

inline constexpr std::array<Browser, 5> BROWSERS = {{
    {"chrome",
     "Google Chrome",
     Family::Chromium,
     {"SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Google\\Chrome",
     ".config/google-chrome/NativeMessagingHosts",
     {"/etc/opt/chrome/native-messaging-hosts"}},
    {"chromium",
     "Chromium",
     Family::Chromium,
     {"SOFTWARE\\Chromium\\NativeMessagingHosts",
      "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Chromium",
     ".config/chromium/NativeMessagingHosts",
     {"/etc/chromium/native-messaging-hosts"}},
    {"edge",
     "Microsoft Edge",
     Family::Chromium,
     {"SOFTWARE\\Microsoft\\Edge\\NativeMessagingHosts",
      "SOFTWARE\\Chromium\\NativeMessagingHosts",
      "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Microsoft\\Edge",
     ".config/microsoft-edge/NativeMessagingHosts",
     {"/etc/opt/edge/native-messaging-hosts"}},
    {"brave",
     "Brave",
     Family::Chromium,
     {"SOFTWARE\\Chromium\\NativeMessagingHosts",
      "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\BraveSoftware\\Brave",
     ".config/BraveSoftware/Brave-Browser/NativeMessagingHosts",
     {"/etc/opt/brave.com/brave/native-messaging-hosts"}},
    // Firefox reads one system folder, fixed when it is built: Mozilla's
    // and Debian's builds /usr/lib/mozilla, builds for a /usr/lib64 layout
    // /usr/lib64/mozilla. The doctor looks at both.
    // On Windows Firefox reads its key under HKCU (64-bit view), then under
    // HKLM in the 32-bit view, then the 64-bit one; the first that has a
    // value is the registration (NativeManifests.sys.mjs, _winLookup).
    // Its policies (under Policies\Mozilla\Firefox) have nothing on hosts.
    {"firefox",
     "Firefox",
     Family::Firefox,
     {"SOFTWARE\\Mozilla\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Mozilla\\Firefox",
     ".mozilla/native-messaging-hosts",
     {"/usr/lib/mozilla/native-messaging-hosts",
      "/usr/lib64/mozilla/native-messaging-hosts"}},
}};

inline const Browser* find_browser(std::string_view name) {
  for (const Browser& browser : BROWSERS) {
    if (browser.name == name) return &browser;
  }
  return nullptr;
}

// The host this product installs, and the browsers' own error texts.
inline constexpr std::string_view HOST_NAME = "com.tavorin.desktop";
inline constexpr std::string_view NOT_FOUND_ERROR =
    "Specified native messaging host not found.";
inline constexpr std::string_view FORBIDDEN_ERROR =
    "Access to the specified native messaging host is forbidden.";
inline constexpr std::string_view FAILED_TO_START_ERROR =
    "Failed to start native messaging host.";
// Firefox's answer to every manifest it finds missing, invalid or not
// allowing the extension, so as not to tell which.
inline constexpr std::string_view FIREFOX_NOT_FOUND_ERROR =
    "No such native application com.tavorin.desktop";

}  // namespace tavorin::native_messaging
