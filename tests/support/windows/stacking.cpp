// The stacking order as Windows keeps it: the Z order of the top-level windows.
#include "support/stacking.h"

#include <gdk/gdkwin32.h>
#include <windows.h>

#include <vector>

namespace testsupport {

int stackingPosition(GtkWidget *window) {
  HWND target = GetAncestor(static_cast<HWND>(GDK_WINDOW_HWND(gtk_widget_get_window(window))), GA_ROOT);
  // GetWindow walks from the top of the order down.
  std::vector<HWND> topFirst;
  for (HWND each = GetTopWindow(nullptr); each != nullptr; each = GetWindow(each, GW_HWNDNEXT))
    topFirst.push_back(each);
  for (size_t i = 0; i < topFirst.size(); ++i)
    if (topFirst[i] == target) return static_cast<int>(topFirst.size() - 1 - i);
  return -1;
}

}  // namespace testsupport
