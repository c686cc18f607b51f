// Helpers for tests that drive real widgets under Xvfb.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Depth-first search of `root` and all its descendants (internal children
// included) for widgets named `name`.
GtkWidget *findWidget(GtkWidget *root, const std::string &name);
std::vector<GtkWidget *> findAllWidgets(GtkWidget *root, const std::string &name);

// Children of a container in packing order.
std::vector<GtkWidget *> childrenOf(GtkWidget *container);

// Runs every pending toolkit event.
void drainEvents();

// Runs the main loop until `condition` holds or the deadline passes; returns
// whether the condition held.
bool waitUntil(const std::function<bool()> &condition, int timeoutMilliseconds = 5000);

// Delivers a button event of `type` (GDK_BUTTON_PRESS, GDK_2BUTTON_PRESS, ...)
// to the widget's window as the toolkit would, and runs pending events.
void sendButtonEvent(GtkWidget *widget, GdkEventType type = GDK_BUTTON_PRESS, guint button = 1);

// A real press and release through the X server (XTest) at the widget's centre;
// true once the widget's window has received them.
// The widget must be mapped.
bool clickWithPointer(GtkWidget *widget, guint button = 1);

// Delivers an enter or leave crossing event to the widget's window.
void sendCrossing(GtkWidget *widget, GdkEventType type);

// Moves the pointer onto a GtkButton, presses and releases button 1 and
// leaves again, delivering the events to the button's own input window as the
// toolkit would. An insensitive button (or one inside an insensitive
// container) ignores them, as it does for a user.
void clickButton(GtkWidget *button);

// True when the image shows exactly the pixels of the picture file at `path`.
bool imageShowsFile(GtkWidget *image, const std::string &path);

// True when the widget and all its ancestors are visible.
bool isShownOnScreen(GtkWidget *widget);

// The first top-level window named `name` that is visible, or null.
GtkWidget *findShownToplevel(const std::string &name);

// Deliver to the widget's window, and run pending events: a key press and its
// release; a wheel turn; a motion to screen position (x, y) with button 1 held.
void sendKey(GtkWidget *window, guint keyval, guint modifiers = 0);
void sendScroll(GtkWidget *widget, GdkScrollDirection direction, guint modifiers = 0);
void sendDragMotion(GtkWidget *widget, double x, double y);

// Loads the toolkit's accessibility module as a desktop with a screen reader
// does. accessibleName: "name (type of the accessible object)".
void loadAccessibilityModule();
std::string accessibleName(GtkWidget *widget);

// Every top-level window, in the toolkit's list order; and those whose title
// is `title`, and the message dialogs (all, or those titled `title`).
std::vector<GtkWidget *> topLevelWindows();
std::vector<GtkWidget *> windowsTitled(const std::string &title);
std::vector<GtkWidget *> messageDialogs();
std::vector<GtkWidget *> messageDialogsTitled(const std::string &title);

// Asks the window to close as the window manager's close button does (a
// delete event), and runs pending events.
void sendDeleteEvent(GtkWidget *window);

}  // namespace testsupport
