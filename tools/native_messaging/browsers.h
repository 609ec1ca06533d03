#pragma once

#include <array>
#include <string_view>

namespace tavorin::native_messaging {

// Where a Chromium-family browser looks for a host's manifest, and the
// policy key an administrator sets for it.
struct Browser {
  std::string_view name;
  std::string_view title;
  // Registry keys under HKCU\ and HKLM\, in the order the browser reads
  // them (each followed by \<host name>); Edge falls back to Chromium's and
  // Chrome's. Every Chromium build not branded Chrome reads Chromium's key,
  // then Chrome's (launch_context_win.cc, CHROMIUM_BRANDING); Brave patches
  // nothing there, so it never reads a key of its own.
  std::array<std::string_view, 3> registry_keys;
  std::string_view policy_key;
  // On Linux: the per-user folder below $HOME, then the system folder.
  std::string_view user_folder;
  std::string_view system_folder;
};

inline constexpr std::array<Browser, 4> BROWSERS = {{
    {"chrome",
     "Google Chrome",
     {"SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Google\\Chrome",
     ".config/google-chrome/NativeMessagingHosts",
     "/etc/opt/chrome/native-messaging-hosts"},
    {"chromium",
     "Chromium",
     {"SOFTWARE\\Chromium\\NativeMessagingHosts",
      "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Chromium",
     ".config/chromium/NativeMessagingHosts",
     "/etc/chromium/native-messaging-hosts"},
    {"edge",
     "Microsoft Edge",
     {"SOFTWARE\\Microsoft\\Edge\\NativeMessagingHosts",
      "SOFTWARE\\Chromium\\NativeMessagingHosts",
      "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\Microsoft\\Edge",
     ".config/microsoft-edge/NativeMessagingHosts",
     "/etc/opt/edge/native-messaging-hosts"},
    {"brave",
     "Brave",
     {"SOFTWARE\\Chromium\\NativeMessagingHosts",
      "SOFTWARE\\Google\\Chrome\\NativeMessagingHosts"},
     "SOFTWARE\\Policies\\BraveSoftware\\Brave",
     ".config/BraveSoftware/Brave-Browser/NativeMessagingHosts",
     "/etc/opt/brave.com/brave/native-messaging-hosts"},
}};

inline const Browser* find_browser(std::string_view name) {
  for (const Browser& browser : BROWSERS) {
    if (browser.name == name) return &browser;
  }
  return nullptr;
}

// The host this product installs, and the browser's own error texts.
inline constexpr std::string_view HOST_NAME = "com.tavorin.desktop";
inline constexpr std::string_view NOT_FOUND_ERROR =
    "Specified native messaging host not found.";
inline constexpr std::string_view FORBIDDEN_ERROR =
    "Access to the specified native messaging host is forbidden.";
inline constexpr std::string_view FAILED_TO_START_ERROR =
    "Failed to start native messaging host.";

}  // namespace tavorin::native_messaging
