// Pointer buttons through the system's input queue: the toolkit simulates none
// on Windows.
#include "support/pointer_button.h"

#include <gdk/gdkwin32.h>
#include <windows.h>

namespace testsupport {

bool simulatePointerButton(GdkWindow *window, int x, int y, guint button, GdkEventType pressOrRelease) {
  static const DWORD downs[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_RIGHTDOWN};
  static const DWORD ups[] = {MOUSEEVENTF_LEFTUP, MOUSEEVENTF_MIDDLEUP, MOUSEEVENTF_RIGHTUP};
  if (button < 1 || button > 3) return false;
  POINT point{x, y};
  if (!ClientToScreen(static_cast<HWND>(GDK_WINDOW_HWND(window)), &point) || !SetCursorPos(point.x, point.y))
    return false;
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = pressOrRelease == GDK_BUTTON_PRESS ? downs[button - 1] : ups[button - 1];
  return SendInput(1, &input, sizeof input) == 1;
}

}  // namespace testsupport
