// Waking the main loop from any thread: a message posted to a hidden window
// of the main thread, whose messages the toolkit's main loop dispatches.
#include "platform/platform.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

constexpr UINT kWakeMessage = WM_APP + 17;
constexpr int kMaxWatches = 8;

// Process-wide: the hidden window's procedure, run by the system without our
// data, and any thread that wakes the loop reach them.
void (*watches[kMaxWatches])() = {};
std::atomic<bool> pending[kMaxWatches] = {};
std::atomic<int> watchCount{0};
std::atomic<HWND> wakeWindow{nullptr};

LRESULT CALLBACK wakeWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kWakeMessage) return DefWindowProcW(window, message, wParam, lParam);
  const int watch = static_cast<int>(wParam);
  if (watch >= 0 && watch < watchCount.load()) {
    pending[watch] = false;
    watches[watch]();
  }
  return 0;
}

HWND createWakeWindow() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = wakeWindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"VelmoraBrelantorWakeup";
  RegisterClassExW(&windowClass);
  return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         windowClass.hInstance, nullptr);
}

}  // namespace

int watchMainLoopWakeups(void (*onWake)()) {
  if (wakeWindow.load() == nullptr) wakeWindow = createWakeWindow();
  const int watch = watchCount.load();
  if (wakeWindow.load() == nullptr || watch >= kMaxWatches) return -1;
  watches[watch] = onWake;
  watchCount = watch + 1;
  return watch;
}

void wakeMainLoop(int watch) {
  if (watch < 0 || watch >= watchCount.load()) return;
  // One message on its way is enough: it runs after every earlier wake.
  if (pending[watch].exchange(true)) return;
  if (!PostMessageW(wakeWindow.load(), kWakeMessage, static_cast<WPARAM>(watch), 0)) pending[watch] = false;
}

}  // namespace platform
