#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "manifest.h"

namespace tavorin::doctor {

// What cmd.exe still reads inside the browser's command line. Chrome and
// Edge start a host through
//   %COMSPEC% /d /s /c ""C:\...\tavorin_shim.exe" chrome-extension://ID/
//   --parent-window=0" < \\.\pipe\...in > \\.\pipe\...out
// (chrome/browser/extensions/api/messaging/launch_context_win.cc). /s takes
// off the outer quotes only, and the host's path stands in quotes of its
// own (base::CommandLine quotes any argument with a backslash), so & | < >
// ( ) ^ and spaces in it are plain characters. Two things cmd.exe does
// before quotes count: it puts a variable's value in place of %NAME% when
// NAME is set, and, where delayed expansion is on for every cmd.exe (the
// DelayedExpansion value under HKCU or HKLM\Software\Microsoft\Command
// Processor), it expands !NAME! and drops a lone "!".
struct CmdEnvironment {
  std::function<bool(std::string_view name)> is_set;
  bool delayed_expansion = false;
};

// The %NAME% sequences of the path that cmd.exe replaces, in order.
std::vector<std::string> expanded_sequences(std::string_view path,
                                            const CmdEnvironment& environment);

// Why the browser's cmd.exe would not start the program at this path, with
// the fix; nothing when it would.
std::vector<native_messaging::ManifestProblem> cmd_line_problems(
    const std::string& host_path, const CmdEnvironment& environment);

}  // namespace tavorin::doctor
