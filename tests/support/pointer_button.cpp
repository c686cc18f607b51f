// Pointer buttons through the X server (XTest), as the toolkit simulates them.
#include "support/pointer_button.h"

namespace testsupport {

bool simulatePointerButton(GdkWindow *window, int x, int y, guint button, GdkEventType pressOrRelease) {
  return gdk_test_simulate_button(window, x, y, button, GdkModifierType(0), pressOrRelease);
}

}  // namespace testsupport
