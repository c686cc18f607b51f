// The browser's input turned into actions, and its screen-reader names.
#include "browser/browser_input.h"

#include "base/quit_request.h"
#include "browser/browser_actions.h"
#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/position_label.h"
#include "ui/button_accessible.h"
#include "ui/keyboard_access.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// The key map counts keys and modifiers as X does; so does the toolkit.
static_assert(keycode::kLeft == GDK_Left && keycode::kKeypadSubtract == GDK_KP_Subtract &&
              keycode::kSpace == GDK_space && keycode::kEscape == GDK_Escape &&
              keycode::kKeypadSpace == GDK_KP_Space);
static_assert(modifier::kShift == GDK_SHIFT_MASK && modifier::kControl == GDK_CONTROL_MASK &&
              modifier::kAlt == GDK_MOD1_MASK && modifier::kSuper == GDK_SUPER_MASK &&
              modifier::kMeta == GDK_META_MASK);
constexpr guint kCommandModifiers = modifier::kCommand;

// The control each key's action stands for: the action runs only while that
// control is sensitive. Home, End and the double click have no button of their
// own and go with the one named here.
struct ActionControl {
  BrowserAction action;
  GtkWidget *const *control;
};

const ActionControl kActionControls[] = {
    {BrowserAction::PreviousImage, &browser.prevImageButton},
    {BrowserAction::NextImage, &browser.nextImageButton},
    {BrowserAction::PreviousSeries, &browser.prevSeriesButton},
    {BrowserAction::NextSeries, &browser.nextSeriesButton},
    {BrowserAction::FirstImage, &browser.prevImageButton},
    {BrowserAction::LastImage, &browser.nextImageButton},
    {BrowserAction::ZoomIn, &browser.zoomInButton},
    {BrowserAction::ZoomOut, &browser.zoomOutButton},
    {BrowserAction::FitOrActualSize, &browser.zoomInButton},
    {BrowserAction::PlayStop, &browser.playButton},
};

// Where a drag with the left button began: pointer and scroll positions.
struct Drag {
  bool active = false;
  double pointerX = 0;
  double pointerY = 0;
  double scrollX = 0;
  double scrollY = 0;
};
// The image area's pointer drag and the fit that follows its size.
struct ImageAreaInput {
  Drag drag;
  // The image area's size the fitted picture was last fitted to, and the pending refit.
  int fittedWidth = 0;
  int fittedHeight = 0;
  guint refitSource = 0;
};
// Process-wide: the toolkit's event callbacks reach it without data.
ImageAreaInput imageArea;

// Closes the window as the window manager's close button does.
void closeBrowserWindow() {
  std::unique_ptr<GdkEvent, decltype(&gdk_event_free)> event(gdk_event_new(GDK_DELETE), gdk_event_free);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(browser.browserWindow)));
  event->any.send_event = TRUE;
  gtk_main_do_event(event.get());
}

GtkAdjustment *adjustment(bool vertical) {
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(browser.imageScroller);
  return vertical ? gtk_scrolled_window_get_vadjustment(scroller)
                  : gtk_scrolled_window_get_hadjustment(scroller);
}

bool pictureLargerThanView(GtkAdjustment *range) {
  return gtk_adjustment_get_upper(range) - gtk_adjustment_get_lower(range) >
         gtk_adjustment_get_page_size(range) + 0.5;
}

// Shows the pointer as a grabbing hand while a imageArea.drag pans the picture.
void setDragCursor(GtkWidget *widget, bool dragging) {
  GdkWindow *window = gtk_widget_get_window(widget);
  if (window == nullptr) return;
  GdkCursor *cursor = dragging ? gdk_cursor_new(GDK_FLEUR) : nullptr;
  gdk_window_set_cursor(window, cursor);
  if (cursor != nullptr) gdk_cursor_unref(cursor);
}

gboolean onRefitDue(gpointer) {
  imageArea.refitSource = 0;
  applyBrowserAction(BrowserAction::RefitToView);
  return FALSE;
}

void onFullPictureArrived() { applyBrowserAction(BrowserAction::FullPictureArrived); }

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
  for (int index = 0; GtkWidget *branch = childBranch(*browser.browserTree, parent, index); ++index)
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
      if (GtkWidget *firstChild = childBranch(*browser.browserTree, branches[index], 0))
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
      gtk_widget_is_ancestor(focus, browser.browserTree->rootBox) &&
      (event->state & kCommandModifiers) == 0 && answerBranchKey(focus, event->keyval))
    return TRUE;
  BrowserAction action = browserActionForKey(event->keyval, event->state);
  if (action == BrowserAction::None) return FALSE;
  performBrowserAction(action);
  return TRUE;
}

gboolean onImageScroll(GtkWidget *, GdkEventScroll *event, gpointer) {
  bool vertical = event->direction == GDK_SCROLL_UP || event->direction == GDK_SCROLL_DOWN;
  WheelTurn turn = event->direction == GDK_SCROLL_UP     ? WheelTurn::Up
                   : event->direction == GDK_SCROLL_DOWN ? WheelTurn::Down
                                                         : WheelTurn::Sideways;
  BrowserAction action =
      browserActionForWheel(turn, event->state, pictureLargerThanView(adjustment(vertical)));
  if (action == BrowserAction::None) return FALSE;  // the scrolled window scrolls
  performBrowserAction(action);
  return TRUE;
}

// A fitted picture follows the image area's size. It is refitted once the
// layout is done: changing the picture while sizes are given out would lay the
// window out again from inside its own layout.
void onImageAreaAllocated(GtkWidget *, GtkAllocation *allocation, gpointer) {
  if (!browser.zoomFitsView ||
      (allocation->width == imageArea.fittedWidth && allocation->height == imageArea.fittedHeight))
    return;
  imageArea.fittedWidth = allocation->width;
  imageArea.fittedHeight = allocation->height;
  if (imageArea.refitSource == 0) imageArea.refitSource = gdk_threads_add_idle(onRefitDue, nullptr);
}

gboolean onImagePressed(GtkWidget *backdrop, GdkEventButton *event, gpointer) {
  if (event->button != 1) return FALSE;
  if (event->type == GDK_2BUTTON_PRESS) {
    imageArea.drag.active = false;
    performBrowserAction(BrowserAction::FitOrActualSize);
    return TRUE;
  }
  if (event->type != GDK_BUTTON_PRESS) return FALSE;
  imageArea.drag = {true, event->x_root, event->y_root, gtk_adjustment_get_value(adjustment(false)),
                    gtk_adjustment_get_value(adjustment(true))};
  setDragCursor(backdrop,
                pictureLargerThanView(adjustment(false)) || pictureLargerThanView(adjustment(true)));
  return TRUE;
}

gboolean onImageDragged(GtkWidget *, GdkEventMotion *event, gpointer) {
  if (!imageArea.drag.active || (event->state & GDK_BUTTON1_MASK) == 0) return FALSE;
  ActionTarget target;
  target.scrollX = imageArea.drag.scrollX - (event->x_root - imageArea.drag.pointerX);
  target.scrollY = imageArea.drag.scrollY - (event->y_root - imageArea.drag.pointerY);
  applyBrowserAction(BrowserAction::DragPicture, target);
  return TRUE;
}

gboolean onImageReleased(GtkWidget *backdrop, GdkEventButton *event, gpointer) {
  if (event->button != 1) return FALSE;
  imageArea.drag.active = false;
  setDragCursor(backdrop, false);
  return FALSE;
}

}  // namespace

void connectBrowserInput() {
  watchKeysOf(browser.browserWindow);
  g_signal_connect(browser.browserWindow, "key-press-event", G_CALLBACK(onBrowserKey), nullptr);

  g_signal_connect(browser.imageScroller, "scroll-event", G_CALLBACK(onImageScroll), nullptr);
  g_signal_connect(browser.imageScroller, "size-allocate", G_CALLBACK(onImageAreaAllocated), nullptr);
  GtkWidget *backdrop = gtk_widget_get_parent(gtk_widget_get_parent(browser.imageView));
  gtk_widget_add_events(backdrop, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
  g_signal_connect(backdrop, "button-press-event", G_CALLBACK(onImagePressed), nullptr);
  g_signal_connect(backdrop, "motion-notify-event", G_CALLBACK(onImageDragged), nullptr);
  g_signal_connect(backdrop, "button-release-event", G_CALLBACK(onImageReleased), nullptr);

  setFullPictureArrivalHandler(onFullPictureArrived);

  makeBranchesReachable(nullptr, "");
  // A thumbnail or row reached with the keyboard is scrolled into view.
  gtk_container_set_focus_vadjustment(
      GTK_CONTAINER(browser.browserTree->rootBox),
      gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(browser.treeScroller)));
  setAccessibleName(browser.treeScroller, "Badania i serie");
  setAccessibleName(browser.imageScroller, "Obraz");
  showPositionLabel(viewedPictureSize().first > 0);
}

bool performBrowserAction(BrowserAction action) {
  // Input queued before a request to end is not acted on: the program ends.
  if (quitRequested() || referenceBrowserBusy || browser.browserWindow == nullptr ||
      !gtk_widget_get_visible(browser.browserWindow))
    return false;
  if (action == BrowserAction::Close) {
    closeBrowserWindow();
    return true;
  }
  for (const ActionControl &entry : kActionControls) {
    if (entry.action != action) continue;
    GtkWidget *control = *entry.control;
    if (control == nullptr || !gtk_widget_is_sensitive(control)) return false;
    applyBrowserAction(action);
    return true;
  }
  return false;
}

// ---- The control bar's "clicked" handlers ----

void onPlayToggled(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::PlayStop); }
void onPrevSeries(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::PreviousSeries); }
void onPrevImage(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::PreviousImage); }
void onNextImage(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::NextImage); }
void onNextSeries(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::NextSeries); }
void onZoomIn(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::ZoomIn); }
void onZoomOut(GtkButton *, gpointer) { applyBrowserAction(BrowserAction::ZoomOut); }
