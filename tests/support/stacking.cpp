// The stacking order as the X server keeps it.
#include "support/stacking.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace testsupport {

int stackingPosition(GtkWidget *window) {
  Display *display = GDK_WINDOW_XDISPLAY(gtk_widget_get_window(window));
  Window xid = GDK_WINDOW_XID(gtk_widget_get_window(window));
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  for (;;) {
    if (!XQueryTree(display, xid, &root, &parent, &children, &count)) return -1;
    if (children != nullptr) XFree(children);
    if (parent == root) break;
    xid = parent;
  }
  XQueryTree(display, root, &root, &parent, &children, &count);
  int position = -1;
  for (unsigned i = 0; i < count; ++i)
    if (children[i] == xid) position = static_cast<int>(i);
  if (children != nullptr) XFree(children);
  return position;
}

}  // namespace testsupport
