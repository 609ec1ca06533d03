#include <string>
#include <vector>

#include "doctor.h"
#include "platform/windows/windows_platform.h"
#include "windows/wide.h"

// The wide entry point: arguments such as paths arrive whatever the code
// page.
int wmain(int argc, wchar_t** argv) {
  tavorin::WindowsPlatform os;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(tavorin::native_messaging::narrow(argv[i]));
  }
  return tavorin::doctor::run_doctor(os, arguments);
}
