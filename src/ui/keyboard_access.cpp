// Keyboard use and screen-reader names for event boxes and pictures.
#include "ui/keyboard_access.h"

#include "base/text.h"
#include "ui/button_accessible.h"
#include "ui/help_window.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <memory>

namespace {

// Process-wide: a key used in any of the program's windows shows the focus marks in all.
bool keysUsed = false;

constexpr guint kCommandModifiers = GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_META_MASK;
constexpr double kMarkWidth = 2.0;

bool activatesPress(const GdkEventKey *event) {
  if ((event->state & kCommandModifiers) != 0) return false;
  switch (event->keyval) {
    case GDK_Return:
    case GDK_KP_Enter:
    case GDK_ISO_Enter:
    case GDK_space:
    case GDK_KP_Space:
      return true;
    default:
      return false;
  }
}

// ---- Handlers of the pressable event boxes and the windows ----

gboolean onPressableKey(GtkWidget *eventBox, GdkEventKey *event, gpointer) {
  if (!activatesPress(event)) return FALSE;
  pressAsMouse(eventBox);
  return TRUE;
}

gboolean onPressableFocusChange(GtkWidget *eventBox, GdkEventFocus *, gpointer) {
  gtk_widget_queue_draw(eventBox);
  return FALSE;
}

// Runs after the event box and its picture have drawn, so the outline is on top.
gboolean drawFocusMark(GtkWidget *eventBox, GdkEventExpose *, gpointer markColour) {
  GdkWindow *window = gtk_widget_get_window(eventBox);
  if (!keysUsed || !gtk_widget_has_focus(eventBox) || window == nullptr) return FALSE;
  GtkAllocation allocation;
  gtk_widget_get_allocation(eventBox, &allocation);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cairo(gdk_cairo_create(window), cairo_destroy);
  gdk_cairo_set_source_color(cairo.get(), static_cast<const GdkColor *>(markColour));
  cairo_set_line_width(cairo.get(), kMarkWidth);
  cairo_rectangle(cairo.get(), kMarkWidth / 2, kMarkWidth / 2, allocation.width - kMarkWidth,
                  allocation.height - kMarkWidth);
  cairo_stroke(cairo.get());
  return FALSE;
}

gboolean onWindowKey(GtkWidget *window, GdkEventKey *event, gpointer) {
  if (!keysUsed) {
    keysUsed = true;
    if (GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(window))) gtk_widget_queue_draw(focus);
  }
  if (event->keyval == GDK_F1 && (event->state & kCommandModifiers) == 0) {
    showHelpWindow();
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void makePressableByKeyboard(GtkWidget *eventBox, const GdkColor *markColour) {
  gtk_widget_set_can_focus(eventBox, TRUE);
  announceAsButton(eventBox);
  g_signal_connect(eventBox, "key-press-event", G_CALLBACK(onPressableKey), nullptr);
  g_signal_connect(eventBox, "focus-in-event", G_CALLBACK(onPressableFocusChange), nullptr);
  g_signal_connect(eventBox, "focus-out-event", G_CALLBACK(onPressableFocusChange), nullptr);
  g_signal_connect_after(eventBox, "expose-event", G_CALLBACK(drawFocusMark),
                         const_cast<GdkColor *>(markColour));
}

void watchKeysOf(GtkWidget *window) {
  g_signal_connect(window, "key-press-event", G_CALLBACK(onWindowKey), nullptr);
}

bool focusMarksShown() { return keysUsed; }

namespace {

gboolean onArrowKey(GtkWidget *item, GdkEventKey *event, gpointer data) {
  int step = 0;
  switch (event->keyval) {
    case GDK_Right:
    case GDK_KP_Right:
      step = 1;
      break;
    case GDK_Left:
    case GDK_KP_Left:
      step = -1;
      break;
    default:
      return FALSE;
  }
  const auto &order = *static_cast<const std::vector<GtkWidget *> *>(data);
  auto at = std::find(order.begin(), order.end(), item);
  if (at == order.end()) return FALSE;
  long next = (at - order.begin()) + step;
  // At either end the focus stays where it is.
  if (next >= 0 && next < static_cast<long>(order.size())) gtk_widget_grab_focus(order[next]);
  return TRUE;
}

}  // namespace

void orderFocus(GtkWidget *row, const std::vector<GtkWidget *> &items) {
  GList *children = gtk_container_get_children(GTK_CONTAINER(row));
  gtk_container_set_focus_chain(GTK_CONTAINER(row), children);
  g_list_free(children);
  auto *order = new std::vector<GtkWidget *>(items);
  g_object_set_data_full(G_OBJECT(row), "velmora-focus-order", order,
                         [](gpointer data) { delete static_cast<std::vector<GtkWidget *> *>(data); });
  for (GtkWidget *item : items) g_signal_connect(item, "key-press-event", G_CALLBACK(onArrowKey), order);
}

void setAccessibleName(GtkWidget *widget, const std::string &name, const std::string &description) {
  AtkObject *accessible = gtk_widget_get_accessible(widget);
  if (accessible == nullptr) return;
  atk_object_set_name(accessible, makeValidUtf8(name).c_str());
  if (!description.empty()) atk_object_set_description(accessible, makeValidUtf8(description).c_str());
}

void setTooltipAndName(GtkWidget *widget, const char *tooltip) {
  std::string name(tooltip);
  size_t first = name.find_first_not_of(' ');
  size_t last = name.find_last_not_of(' ');
  // The description before the tooltip: without one, the accessibility layer
  // takes a copy of each new tooltip as the description and never frees it.
  setAccessibleName(widget, first == std::string::npos ? "" : name.substr(first, last - first + 1), tooltip);
  gtk_widget_set_tooltip_text(widget, tooltip);
}
