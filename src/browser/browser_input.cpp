// The browser's keys, mouse wheel and drag, its position label, and its
// screen-reader names.
#include "browser/browser_input.h"

#include "base/quit_request.h"
#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "ui/button_accessible.h"
#include "ui/keyboard_access.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr guint kCommandModifiers = GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_META_MASK;

// The zoom buttons have no global of their own; found in the control bar.
GtkWidget *zoomInControl = nullptr;
GtkWidget *zoomOutControl = nullptr;

// The control each action stands for: the action runs only while that control
// is sensitive. Actions without a button of their own run `withoutButton`.
struct ActionControl {
  BrowserAction action;
  GtkWidget *const *control;
  void (*withoutButton)();
};

const ActionControl kActionControls[] = {
    {BrowserAction::PreviousImage, &prevImageButton, nullptr},
    {BrowserAction::NextImage, &nextImageButton, nullptr},
    {BrowserAction::PreviousSeries, &prevSeriesButton, nullptr},
    {BrowserAction::NextSeries, &nextSeriesButton, nullptr},
    {BrowserAction::FirstImage, &prevImageButton, showFirstImage},
    {BrowserAction::LastImage, &nextImageButton, showLastImage},
    {BrowserAction::ZoomIn, &zoomInControl, nullptr},
    {BrowserAction::ZoomOut, &zoomOutControl, nullptr},
    {BrowserAction::FitOrActualSize, &zoomInControl, toggleFitToView},
    {BrowserAction::PlayStop, &playButton, nullptr},
};

// Where a drag with the left button began: pointer and scroll positions.
struct Drag {
  bool active = false;
  double pointerX = 0;
  double pointerY = 0;
  double scrollX = 0;
  double scrollY = 0;
};
Drag drag;

// The image area's size the fitted picture was last fitted to, and the pending refit.
int fittedWidth = 0;
int fittedHeight = 0;
guint refitSource = 0;

void findZoomButtons() {
  GtkWidget *bar = gtk_widget_get_parent(gtk_widget_get_parent(playButton));
  std::vector<GtkWidget *> buttons;
  GList *cells = gtk_container_get_children(GTK_CONTAINER(bar));
  for (GList *cell = cells; cell != nullptr; cell = cell->next) {
    GtkWidget *child = GTK_IS_BIN(cell->data) ? gtk_bin_get_child(GTK_BIN(cell->data)) : nullptr;
    if (child != nullptr && GTK_IS_BUTTON(child)) buttons.push_back(child);
  }
  g_list_free(cells);
  // The two zoom buttons close the bar, zoom in first.
  if (buttons.size() < 2) return;
  zoomInControl = buttons[buttons.size() - 2];
  zoomOutControl = buttons.back();
}

// Closes the window as the window manager's close button does.
void closeBrowserWindow() {
  std::unique_ptr<GdkEvent, decltype(&gdk_event_free)> event(gdk_event_new(GDK_DELETE), gdk_event_free);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(browserWindow)));
  event->any.send_event = TRUE;
  gtk_main_do_event(event.get());
}

GtkAdjustment *adjustment(bool vertical) {
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(imageScroller);
  return vertical ? gtk_scrolled_window_get_vadjustment(scroller)
                  : gtk_scrolled_window_get_hadjustment(scroller);
}

bool pictureLargerThanView(GtkAdjustment *range) {
  return gtk_adjustment_get_upper(range) - gtk_adjustment_get_lower(range) >
         gtk_adjustment_get_page_size(range) + 0.5;
}

void scrollTo(GtkAdjustment *range, double value) {
  double end = gtk_adjustment_get_upper(range) - gtk_adjustment_get_page_size(range);
  gtk_adjustment_set_value(range, std::clamp(value, gtk_adjustment_get_lower(range), std::max(0.0, end)));
}

// Shows the pointer as a grabbing hand while a drag pans the picture.
void setDragCursor(GtkWidget *widget, bool dragging) {
  GdkWindow *window = gtk_widget_get_window(widget);
  if (window == nullptr) return;
  GdkCursor *cursor = dragging ? gdk_cursor_new(GDK_FLEUR) : nullptr;
  gdk_window_set_cursor(window, cursor);
  if (cursor != nullptr) gdk_cursor_unref(cursor);
}

gboolean refitToView(gpointer) {
  refitSource = 0;
  if (!zoomFitsView) return FALSE;
  showPendingStep();
  showCurrentImage();
  centreImageView();
  return FALSE;
}

// The text of a tree label row, or "" for a picture branch.
std::string branchText(GtkWidget *branch) {
  GtkWidget *row = branchWidget(branch);
  if (row == nullptr || !GTK_IS_CONTAINER(row)) return "";
  std::string text;
  GList *parts = gtk_container_get_children(GTK_CONTAINER(row));
  for (GList *part = parts; part != nullptr; part = part->next)
    if (GTK_IS_LABEL(part->data)) text = gtk_label_get_text(GTK_LABEL(part->data));
  g_list_free(parts);
  return text;
}

// Label rows fold and unfold with Enter, thumbnails show their picture; each
// is named for a screen reader, a thumbnail by its place in its series.
void makeBranchesReachable(GtkWidget *parent, const std::string &parentText) {
  std::vector<GtkWidget *> branches;
  for (int index = 0; GtkWidget *branch = childBranch(*browserTree, parent, index); ++index)
    branches.push_back(branch);
  int count = static_cast<int>(branches.size());
  for (int index = 0; index < count; ++index) {
    GtkWidget *widget = branchWidget(branches[index]);
    if (widget == nullptr) continue;
    GtkWidget *frame = gtk_widget_get_parent(widget);
    makePressableByKeyboard(frame, &colorWhite);
    if (GTK_IS_IMAGE(widget)) {
      std::string name = "Obraz " + std::to_string(index + 1) + " z " + std::to_string(count);
      if (!parentText.empty()) name += ", " + parentText;
      setAccessibleName(frame, name);
      setAccessibleName(widget, name);
    } else {
      std::string text = branchText(branches[index]);
      setAccessibleName(frame, text);
      if (GtkWidget *firstChild = childBranch(*browserTree, branches[index], 0))
        announceFolding(frame, gtk_widget_get_parent(firstChild));
      makeBranchesReachable(branches[index], text);
    }
  }
}

// ---- Window, image-area and tree handlers ----

gboolean onBrowserKey(GtkWidget *window, GdkEventKey *event, gpointer) {
  // The arrows move through the tree while one of its rows has the focus (the
  // window hears keys before the focused row does).
  GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(window));
  if (focus != nullptr && gtk_widget_is_sensitive(focus) &&
      gtk_widget_is_ancestor(focus, browserTree->rootBox) && (event->state & kCommandModifiers) == 0 &&
      answerBranchKey(focus, event->keyval))
    return TRUE;
  BrowserAction action = browserActionForKey(event->keyval, event->state);
  if (action == BrowserAction::None) return FALSE;
  performBrowserAction(action);
  return TRUE;
}

gboolean onImageScroll(GtkWidget *, GdkEventScroll *event, gpointer) {
  bool vertical = event->direction == GDK_SCROLL_UP || event->direction == GDK_SCROLL_DOWN;
  BrowserAction action =
      browserActionForWheel(event->direction, event->state, pictureLargerThanView(adjustment(vertical)));
  if (action == BrowserAction::None) return FALSE;  // the scrolled window scrolls
  performBrowserAction(action);
  return TRUE;
}

// A fitted picture follows the image area's size. It is refitted once the
// layout is done: changing the picture while sizes are given out would lay the
// window out again from inside its own layout.
void onImageAreaAllocated(GtkWidget *, GtkAllocation *allocation, gpointer) {
  if (!zoomFitsView || (allocation->width == fittedWidth && allocation->height == fittedHeight)) return;
  fittedWidth = allocation->width;
  fittedHeight = allocation->height;
  if (refitSource == 0) refitSource = gdk_threads_add_idle(refitToView, nullptr);
}

gboolean onImagePressed(GtkWidget *backdrop, GdkEventButton *event, gpointer) {
  if (event->button != 1) return FALSE;
  if (event->type == GDK_2BUTTON_PRESS) {
    drag.active = false;
    performBrowserAction(BrowserAction::FitOrActualSize);
    return TRUE;
  }
  if (event->type != GDK_BUTTON_PRESS) return FALSE;
  drag = {true, event->x_root, event->y_root, gtk_adjustment_get_value(adjustment(false)),
          gtk_adjustment_get_value(adjustment(true))};
  setDragCursor(backdrop,
                pictureLargerThanView(adjustment(false)) || pictureLargerThanView(adjustment(true)));
  return TRUE;
}

gboolean onImageDragged(GtkWidget *, GdkEventMotion *event, gpointer) {
  if (!drag.active || (event->state & GDK_BUTTON1_MASK) == 0) return FALSE;
  scrollTo(adjustment(false), drag.scrollX - (event->x_root - drag.pointerX));
  scrollTo(adjustment(true), drag.scrollY - (event->y_root - drag.pointerY));
  return TRUE;
}

gboolean onImageReleased(GtkWidget *backdrop, GdkEventButton *event, gpointer) {
  if (event->button != 1) return FALSE;
  drag.active = false;
  setDragCursor(backdrop, false);
  return FALSE;
}

}  // namespace

GtkWidget *buildPositionLabel() {
  GtkWidget *alignment = gtk_alignment_new(0.5, 0.5, 0, 0);
  positionLabel = gtk_label_new("");
  g_signal_connect(positionLabel, "destroy", G_CALLBACK(gtk_widget_destroyed), &positionLabel);
  gtk_container_add(GTK_CONTAINER(alignment), positionLabel);
  return alignment;
}

void connectBrowserInput() {
  findZoomButtons();
  watchKeysOf(browserWindow);
  g_signal_connect(browserWindow, "key-press-event", G_CALLBACK(onBrowserKey), nullptr);

  g_signal_connect(imageScroller, "scroll-event", G_CALLBACK(onImageScroll), nullptr);
  g_signal_connect(imageScroller, "size-allocate", G_CALLBACK(onImageAreaAllocated), nullptr);
  GtkWidget *backdrop = gtk_widget_get_parent(gtk_widget_get_parent(imageView));
  gtk_widget_add_events(backdrop, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
  g_signal_connect(backdrop, "button-press-event", G_CALLBACK(onImagePressed), nullptr);
  g_signal_connect(backdrop, "motion-notify-event", G_CALLBACK(onImageDragged), nullptr);
  g_signal_connect(backdrop, "button-release-event", G_CALLBACK(onImageReleased), nullptr);

  makeBranchesReachable(nullptr, "");
  // A thumbnail or row reached with the keyboard is scrolled into view.
  gtk_container_set_focus_vadjustment(GTK_CONTAINER(browserTree->rootBox),
                                      gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(treeScroller)));
  setAccessibleName(treeScroller, "Badania i serie");
  setAccessibleName(imageScroller, "Obraz");
  showWhereAmI();
}

bool performBrowserAction(BrowserAction action) {
  // Input queued before a request to end is not acted on: the program ends.
  if (quitRequested() || referenceBrowserBusy || browserWindow == nullptr ||
      !gtk_widget_get_visible(browserWindow))
    return false;
  if (action == BrowserAction::Close) {
    closeBrowserWindow();
    return true;
  }
  for (const ActionControl &entry : kActionControls) {
    if (entry.action != action) continue;
    GtkWidget *control = *entry.control;
    if (control == nullptr || !gtk_widget_is_sensitive(control)) return false;
    if (entry.withoutButton != nullptr)
      entry.withoutButton();
    else
      gtk_button_clicked(GTK_BUTTON(control));
    return true;
  }
  return false;
}

void showWhereAmI() {
  if (positionLabel != nullptr) {
    bool shown = viewedPictureSize().first > 0;
    int count = static_cast<int>(currentSeriesThumbnails().size());
    gtk_label_set_text(GTK_LABEL(positionLabel),
                       shown ? positionText(currentImage, count, zoomFactor).c_str() : "");
  }
  if (imageView != nullptr && infoLabel != nullptr)
    setAccessibleName(imageView, gtk_label_get_text(GTK_LABEL(infoLabel)));
}
