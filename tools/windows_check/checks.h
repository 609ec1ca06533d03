#pragma once

#include "check.h"
#include "context.h"

// Each check of tavorin_windows_check: self-contained (it makes what it
// needs in the scratch folder, and puts back what it changed), and under
// Wine, where it cannot answer, it says so.
namespace tavorin::windows_check {

using doctor::Check;
using doctor::make_check;

Check check_system(Context& context);
Check check_launch(Context& context);
Check check_log_cost(Context& context);
Check check_refused_connects(Context& context);
Check check_script_installer(Context& context);
Check check_listener_owner(Context& context);
Check check_elevated_app(Context& context);
Check check_default_terminal(Context& context);
Check check_registry_views(Context& context);
Check check_msi(Context& context);

// The origin and the extension IDs the checks start hosts with: the
// test extensions'.
inline constexpr const char* TEST_ORIGIN =
    "chrome-extension://gppkkhdhkkicmjpcgcpidfjhncllihef/";
inline constexpr const char* TEST_EXTENSION_ID =
    "gppkkhdhkkicmjpcgcpidfjhncllihef";
inline constexpr const char* FIREFOX_EXTENSION_ID =
    "bridge-test@tavorin.example";

}  // namespace tavorin::windows_check
