// A press of the mouse made by the program.
#include "ui/mouse_press.h"

#include <memory>

void pressAsMouse(GtkWidget *widget) {
  GdkWindow *window = gtk_widget_get_window(widget);
  if (window == nullptr) return;
  std::unique_ptr<GdkEvent, decltype(&gdk_event_free)> event(gdk_event_new(GDK_BUTTON_PRESS), gdk_event_free);
  event->button.window = GDK_WINDOW(g_object_ref(window));
  event->button.send_event = TRUE;
  event->button.time = gtk_get_current_event_time();
  event->button.button = 1;
  event->button.device = gdk_device_get_core_pointer();
  gtk_widget_event(widget, event.get());
}
