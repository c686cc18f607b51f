// A kernel handle owned by one scope. Windows says "no handle" with null or
// with INVALID_HANDLE_VALUE, depending on the call; neither is closed.
#pragma once

#include <windows.h>

namespace platform {
namespace windows {

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~OwnedHandle() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle &) = delete;
  OwnedHandle &operator=(const OwnedHandle &) = delete;
  HANDLE get() const { return handle_; }
  // For the calls that hand a new handle back through a pointer.
  HANDLE *receive() { return &handle_; }

 private:
  HANDLE handle_;
};

}  // namespace windows
}  // namespace platform
