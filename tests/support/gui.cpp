// Helpers for tests that drive real widgets under Xvfb.
#include "support/gui.h"

#include "platform/glib_owners.h"
#include "support/pointer_button.h"

#include <chrono>
#include <cstring>
#include <memory>

namespace testsupport {

namespace {

void collect(GtkWidget *widget, const std::string &name, std::vector<GtkWidget *> &found, bool firstOnly) {
  if (firstOnly && !found.empty()) return;
  if (name == gtk_widget_get_name(widget)) found.push_back(widget);
  if (GTK_IS_CONTAINER(widget)) {
    for (GtkWidget *child : childrenOf(widget)) collect(child, name, found, firstOnly);
  }
}

void forallCollect(GtkWidget *child, gpointer data) {
  static_cast<std::vector<GtkWidget *> *>(data)->push_back(child);
}

}  // namespace

std::vector<GtkWidget *> childrenOf(GtkWidget *container) {
  std::vector<GtkWidget *> children;
  if (container != nullptr && GTK_IS_CONTAINER(container))
    gtk_container_forall(GTK_CONTAINER(container), forallCollect, &children);
  return children;
}

GtkWidget *findWidget(GtkWidget *root, const std::string &name) {
  std::vector<GtkWidget *> found;
  collect(root, name, found, true);
  return found.empty() ? nullptr : found.front();
}

std::vector<GtkWidget *> findAllWidgets(GtkWidget *root, const std::string &name) {
  std::vector<GtkWidget *> found;
  collect(root, name, found, false);
  return found;
}

void drainEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMilliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    drainEvents();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Lets other threads take the toolkit's lock between checks.
    gdk_threads_leave();
    g_usleep(1000);
    gdk_threads_enter();
  }
}

void sendButtonEvent(GtkWidget *widget, GdkEventType type, guint button) {
  gtk_widget_realize(widget);
  GdkEvent *event = gdk_event_new(type);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->button.send_event = TRUE;
  event->button.time = GDK_CURRENT_TIME;
  event->button.button = button;
  event->button.x = 1;
  event->button.y = 1;
  event->button.device = gdk_device_get_core_pointer();
  gtk_main_do_event(event);
  gdk_event_free(event);
  drainEvents();
}

namespace {
gboolean countRelease(GtkWidget *, GdkEventButton *, gpointer counter) {
  ++*static_cast<int *>(counter);
  return FALSE;
}
}  // namespace

bool clickWithPointer(GtkWidget *widget, guint button) {
  drainEvents();
  GdkWindow *window = gtk_widget_get_window(widget);
  if (window == nullptr || !gtk_widget_get_mapped(widget)) return false;
  GtkAllocation allocation;
  gtk_widget_get_allocation(widget, &allocation);
  int x = allocation.width / 2;
  int y = allocation.height / 2;
  if (!gtk_widget_get_has_window(widget)) {
    x += allocation.x;
    y += allocation.y;
  }
  // Other tests share the display and their windows may cover ours: the click
  // counts once our window has seen its release, and is tried again, raised,
  // when another window took it.
  gpointer owner = nullptr;
  gdk_window_get_user_data(window, &owner);
  int releases = 0;
  gulong handler = g_signal_connect(owner, "button-release-event", G_CALLBACK(countRelease), &releases);
  bool received = false;
  for (int attempt = 0; attempt < 5 && !received; ++attempt) {
    gdk_window_raise(gdk_window_get_toplevel(window));
    gdk_flush();
    if (!simulatePointerButton(window, x, y, button, GDK_BUTTON_PRESS) ||
        !simulatePointerButton(window, x, y, button, GDK_BUTTON_RELEASE))
      break;
    gdk_flush();
    received = waitUntil([&] { return releases > 0; }, 1000);
  }
  g_signal_handler_disconnect(owner, handler);
  drainEvents();
  return received;
}

void sendCrossing(GtkWidget *widget, GdkEventType type) {
  gtk_widget_realize(widget);
  GdkEvent *event = gdk_event_new(type);
  event->crossing.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->crossing.send_event = TRUE;
  event->crossing.time = GDK_CURRENT_TIME;
  event->crossing.mode = GDK_CROSSING_NORMAL;
  event->crossing.detail = GDK_NOTIFY_ANCESTOR;
  gtk_main_do_event(event);
  gdk_event_free(event);
  drainEvents();
}

namespace {

void deliverToWindow(GdkWindow *window, GdkEventType type) {
  GdkEvent *event = gdk_event_new(type);
  event->any.window = GDK_WINDOW(g_object_ref(window));
  event->any.send_event = TRUE;
  if (type == GDK_ENTER_NOTIFY || type == GDK_LEAVE_NOTIFY) {
    event->crossing.time = GDK_CURRENT_TIME;
    event->crossing.mode = GDK_CROSSING_NORMAL;
    event->crossing.detail = GDK_NOTIFY_ANCESTOR;
  } else {
    event->button.time = GDK_CURRENT_TIME;
    event->button.button = 1;
    event->button.x = 1;
    event->button.y = 1;
    event->button.device = gdk_device_get_core_pointer();
  }
  gtk_main_do_event(event);
  gdk_event_free(event);
}

}  // namespace

void clickButton(GtkWidget *button) {
  gtk_widget_realize(button);
  GdkWindow *window = gtk_button_get_event_window(GTK_BUTTON(button));
  if (window == nullptr) return;
  // The click may destroy the button (a dialog's answer): the window stays
  // valid, and events for it are then dropped.
  g_object_ref(window);
  for (GdkEventType type : {GDK_ENTER_NOTIFY, GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE, GDK_LEAVE_NOTIFY})
    deliverToWindow(window, type);
  g_object_unref(window);
  drainEvents();
}

bool imageShowsFile(GtkWidget *image, const std::string &path) {
  GdkPixbuf *shown = gtk_image_get_pixbuf(GTK_IMAGE(image));
  UniqueObject<GdkPixbuf> expected(gdk_pixbuf_new_from_file(path.c_str(), nullptr));
  if (shown == nullptr || !expected) return false;
  if (gdk_pixbuf_get_width(shown) != gdk_pixbuf_get_width(expected.get()) ||
      gdk_pixbuf_get_height(shown) != gdk_pixbuf_get_height(expected.get()) ||
      gdk_pixbuf_get_rowstride(shown) != gdk_pixbuf_get_rowstride(expected.get()) ||
      gdk_pixbuf_get_n_channels(shown) != gdk_pixbuf_get_n_channels(expected.get()))
    return false;
  size_t bytes = static_cast<size_t>(gdk_pixbuf_get_rowstride(shown)) * (gdk_pixbuf_get_height(shown) - 1) +
                 gdk_pixbuf_get_width(shown) * gdk_pixbuf_get_n_channels(shown);
  return std::memcmp(gdk_pixbuf_get_pixels(shown), gdk_pixbuf_get_pixels(expected.get()), bytes) == 0;
}

bool isShownOnScreen(GtkWidget *widget) {
  for (GtkWidget *w = widget; w != nullptr; w = gtk_widget_get_parent(w))
    if (!gtk_widget_get_visible(w)) return false;
  return true;
}

GtkWidget *findShownToplevel(const std::string &name) {
  for (GtkWidget *window : topLevelWindows())
    if (name == gtk_widget_get_name(window) && gtk_widget_get_visible(window)) return window;
  return nullptr;
}

std::vector<GtkWidget *> topLevelWindows() {
  std::vector<GtkWidget *> windows;
  GList *list = gtk_window_list_toplevels();
  for (GList *item = list; item != nullptr; item = item->next) windows.push_back(GTK_WIDGET(item->data));
  g_list_free(list);
  return windows;
}

std::vector<GtkWidget *> windowsTitled(const std::string &title) {
  std::vector<GtkWidget *> found;
  for (GtkWidget *window : topLevelWindows()) {
    const gchar *shown = gtk_window_get_title(GTK_WINDOW(window));
    if (shown != nullptr && title == shown) found.push_back(window);
  }
  return found;
}

std::vector<GtkWidget *> messageDialogs() {
  std::vector<GtkWidget *> found;
  for (GtkWidget *window : topLevelWindows())
    if (GTK_IS_MESSAGE_DIALOG(window)) found.push_back(window);
  return found;
}

std::vector<GtkWidget *> messageDialogsTitled(const std::string &title) {
  std::vector<GtkWidget *> found;
  for (GtkWidget *window : windowsTitled(title))
    if (GTK_IS_MESSAGE_DIALOG(window)) found.push_back(window);
  return found;
}

void sendDeleteEvent(GtkWidget *window) {
  gtk_widget_realize(window);
  GdkEvent *event = gdk_event_new(GDK_DELETE);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->any.send_event = TRUE;
  gtk_main_do_event(event);
  gdk_event_free(event);
  drainEvents();
}

// Delivers an event for the widget's window, filled in by `fill`, as the toolkit would.
static void deliver(GtkWidget *widget, GdkEventType type, const std::function<void(GdkEvent *)> &fill) {
  gtk_widget_realize(widget);
  GdkEvent *event = gdk_event_new(type);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->any.send_event = TRUE;
  fill(event);
  gtk_main_do_event(event);
  gdk_event_free(event);
  drainEvents();
}
// The toolkit's key bindings (Tab, arrows) look keys up by their hardware code.
void sendKey(GtkWidget *window, guint keyval, guint modifiers) {
  GdkKeymapKey *keys = nullptr;
  gint count = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_default(), keyval, &keys, &count);
  guint16 code = count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
  g_free(keys);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE})
    deliver(window, type, [&](GdkEvent *e) {
      e->key.keyval = keyval, e->key.state = modifiers, e->key.hardware_keycode = code;
    });
}
void sendScroll(GtkWidget *widget, GdkScrollDirection direction, guint modifiers) {
  deliver(widget, GDK_SCROLL,
          [&](GdkEvent *e) { e->scroll.direction = direction, e->scroll.state = modifiers; });
}
void sendDragMotion(GtkWidget *widget, double x, double y) {
  deliver(widget, GDK_MOTION_NOTIFY, [&](GdkEvent *e) {
    e->motion.x_root = x, e->motion.y_root = y, e->motion.state = GDK_BUTTON1_MASK;
  });
}

void loadAccessibilityModule() { g_object_set(gtk_settings_get_default(), "gtk-modules", "gail", nullptr); }
std::string accessibleName(GtkWidget *widget) {
  AtkObject *accessible = gtk_widget_get_accessible(widget);
  const gchar *name = atk_object_get_name(accessible);
  return std::string(name ? name : "") + " (" + G_OBJECT_TYPE_NAME(accessible) + ")";
}

}  // namespace testsupport
