#include "platform/windows/windows_platform.h"

namespace tavorin {

void WindowsPlatform::terminate_process(int status) {
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace tavorin
