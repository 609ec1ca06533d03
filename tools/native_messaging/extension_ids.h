#pragma once

#include <string_view>

namespace tavorin::native_messaging {

// The two kinds of extension ID a host's manifest names, told apart by
// their form alone, so that one list of IDs can serve every browser.
enum class ExtensionIdForm {
  // 32 letters a to p: Chrome, Chromium, Edge and Brave, which allow it as
  // the origin chrome-extension://<ID>/ in "allowed_origins".
  Chromium,
  // name@domain or a GUID in braces, as Firefox takes an add-on's ID: its
  // manifest lists it as it is in "allowed_extensions".
  Firefox,
  // Neither: no browser would ever match it.
  Neither,
};

// The form of `id`, exactly as the browsers check it: Chromium's IDs in
// lower case only; Firefox's in either case, with nothing around them.
ExtensionIdForm extension_id_form(std::string_view id);

}  // namespace tavorin::native_messaging
