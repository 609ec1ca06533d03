#pragma once

#include "platform/windows/win32.h"

namespace tavorin {

// A kernel handle that is closed when the operation that opened it ends.
// Holds INVALID_HANDLE_VALUE or null when the open failed.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() {
    if (is_open()) CloseHandle(handle_);
  }

  bool is_open() const {
    return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace tavorin
