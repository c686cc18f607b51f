// BranchTree: the collapsible tree built from plain boxes and found again by
// widget names and child positions. Main thread only, with the toolkit's lock
// held (cine frames come from a timer on the main loop).
#include "tree/branch_tree.h"

#include "base/quit_request.h"

#include <gdk/gdkkeysyms.h>

#include <cstring>

namespace {

const char *const kRootName = "MAIN TREE VBOX";
const char *const kChildrenName = "children-container";
const char *const kExpandPicture = "img/toggle_expand.png";
const char *const kCollapsePicture = "img/toggle_colapse.png";
const int kIndentPerLevel = 15;

// The tree's two colours as records: a widget of its own, it takes nothing
// from the application's palette.
constexpr GdkColor kBlack = {0, 0, 0, 0};
constexpr GdkColor kWhite = {0, 0xffff, 0xffff, 0xffff};

void paintBlack(GtkWidget *widget) { gtk_widget_modify_bg(widget, GTK_STATE_NORMAL, &kBlack); }

// The toggle pictures are read from the medium itself: anything there but a
// regular file (a pipe would block the read) shows as a missing picture.
const char *mediumPicture(const char *path) { return g_file_test(path, G_FILE_TEST_IS_REGULAR) ? path : ""; }

bool isNamed(GtkWidget *widget, const char *name) {
  return std::strcmp(gtk_widget_get_name(widget), name) == 0;
}

// The index-th child of a container in packing order; null when there is none.
GtkWidget *nthChild(GtkWidget *container, int index) {
  if (container == nullptr || !GTK_IS_CONTAINER(container) || index < 0) return nullptr;
  GList *children = gtk_container_get_children(GTK_CONTAINER(container));
  GtkWidget *child = static_cast<GtkWidget *>(g_list_nth_data(children, static_cast<guint>(index)));
  g_list_free(children);
  return child;
}

// The size of a picture branch's frame follows its pixbuf's width on both
// sides (the program's pictures are square) plus the picture's style thickness.
void sizeFrameForPicture(GtkWidget *eventBox, GtkWidget *image) {
  if (gtk_image_get_storage_type(GTK_IMAGE(image)) != GTK_IMAGE_PIXBUF) return;
  GdkPixbuf *pixbuf = gtk_image_get_pixbuf(GTK_IMAGE(image));
  GtkStyle *style = gtk_widget_get_style(image);
  int width = gdk_pixbuf_get_width(pixbuf);
  gtk_widget_set_size_request(eventBox, width + style->xthickness + 2, width + style->ythickness + 2);
}

}  // namespace

BranchTree &createTreeRoot(BranchTree &tree) {
  tree.rootBox = gtk_vbox_new(FALSE, 1);
  gtk_widget_set_name(tree.rootBox, kRootName);
  gtk_widget_show(tree.rootBox);
  GtkWidget *eventBox = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(eventBox), tree.rootBox);
  gtk_widget_show(eventBox);
  paintBlack(eventBox);
  return tree;
}

GtkWidget *treeOuterEventBox(const BranchTree &tree) {
  return tree.rootBox == nullptr ? nullptr : gtk_widget_get_parent(tree.rootBox);
}

GtkWidget *newBranch(GtkWidget *widget, int branchLevel) {
  GtkWidget *branch = gtk_vbox_new(FALSE, 1);
  gtk_widget_show(branch);
  gtk_widget_set_name(branch, "branch");

  gtk_widget_show(widget);
  gtk_widget_set_name(widget, "branch-widget");

  GtkWidget *alignment = gtk_alignment_new(0, 0, 0, 0);
  gtk_widget_set_name(alignment, "branch-align");
  gtk_alignment_set_padding(GTK_ALIGNMENT(alignment), 0, 0, static_cast<guint>(kIndentPerLevel * branchLevel),
                            0);
  gtk_widget_show(alignment);

  GtkWidget *eventBox = gtk_event_box_new();
  if (GTK_IS_IMAGE(widget)) sizeFrameForPicture(eventBox, widget);
  gtk_widget_set_name(eventBox, "branch-event-box");
  gtk_container_add(GTK_CONTAINER(eventBox), widget);
  gtk_widget_show(eventBox);
  paintBlack(eventBox);

  gtk_container_add(GTK_CONTAINER(alignment), eventBox);
  gtk_box_pack_start(GTK_BOX(branch), alignment, FALSE, FALSE, 0);
  return branch;
}

GtkWidget *newLabelBranch(std::string text, int branchLevel) {
  GtkWidget *row = gtk_hbox_new(FALSE, 0);
  gtk_widget_set_name(row, "label-hbox");
  gtk_widget_show(row);

  GtkWidget *toggle = gtk_image_new_from_file(mediumPicture(kExpandPicture));
  gtk_widget_set_name(toggle, "expand-collapse-img");
  gtk_widget_show(toggle);

  GtkWidget *label = gtk_label_new(text.c_str());
  gtk_widget_show(label);
  gtk_widget_modify_fg(label, GTK_STATE_NORMAL, &kWhite);

  gtk_box_pack_start(GTK_BOX(row), toggle, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 0);
  return newBranch(row, branchLevel);
}

bool attachBranch(BranchTree &tree, GtkWidget *branch, GtkWidget *parent) {
  if (parent == nullptr) parent = tree.rootBox;
  gtk_box_pack_start(GTK_BOX(parent), branch, FALSE, TRUE, 0);
  GtkWidget *widget = branchWidget(branch);
  g_signal_connect_swapped(gtk_widget_get_parent(widget), "button_press_event", G_CALLBACK(onBranchPressed),
                           widget);
  return false;
}

GtkWidget *childrenContainer(GtkWidget *branch) {
  if (GtkWidget *existing = nthChild(branch, 1)) return existing;
  GtkWidget *container = gtk_vbox_new(FALSE, 1);
  gtk_widget_set_name(container, kChildrenName);
  gtk_box_pack_start(GTK_BOX(branch), container, FALSE, TRUE, 1);
  gtk_widget_hide(container);
  return container;
}

GtkWidget *childBranch(const BranchTree &tree, GtkWidget *branch, int index) {
  GtkWidget *container = branch == nullptr ? tree.rootBox : nthChild(branch, 1);
  return nthChild(container, index);
}

GtkWidget *branchWidget(GtkWidget *branch) { return nthChild(nthChild(nthChild(branch, 0), 0), 0); }

GtkWidget *findToggleImage(GtkWidget *branch) {
  GtkWidget *widget = branchWidget(branch);
  if (widget == nullptr || !GTK_IS_CONTAINER(widget)) return nullptr;
  return nthChild(widget, 0);
}

void expandPathTo(GtkWidget *widget) {
  for (GtkWidget *current = widget; current != nullptr && !isNamed(current, kRootName);
       current = gtk_widget_get_parent(current)) {
    if (isNamed(current, kChildrenName)) {
      gtk_widget_show(current);
      GtkWidget *toggle = findToggleImage(gtk_widget_get_parent(current));
      if (toggle != nullptr) gtk_image_set_from_file(GTK_IMAGE(toggle), mediumPicture(kCollapsePicture));
    }
    gtk_widget_queue_draw(current);
  }
  // One immediate redraw of everything queued on the way up, rather than one
  // per level of the tree (this runs for every cine frame).
  gdk_window_process_all_updates();
  // Sizes and positions must be current when the caller reads them. Once the
  // program is asked to end, the input still queued is left alone.
  while (!quitRequested() && gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

int treeOffsetOf(GtkWidget *widget) {
  for (GtkWidget *current = widget; current != nullptr && !isNamed(current, kRootName);
       current = gtk_widget_get_parent(current)) {
    GtkAllocation allocation;
    gtk_widget_get_allocation(current, &allocation);
    if (allocation.y > 0) return allocation.y;
  }
  return 0;
}

bool branchOpen(GtkWidget *branch) {
  GtkWidget *children = nthChild(branch, 1);
  return children != nullptr && gtk_widget_get_visible(children);
}

void setBranchOpen(GtkWidget *branch, bool open) {
  GtkWidget *children = nthChild(branch, 1);
  if (children == nullptr) return;
  if (open)
    gtk_widget_show(children);
  else
    gtk_widget_hide(children);
  if (GtkWidget *toggle = findToggleImage(branch))
    gtk_image_set_from_file(GTK_IMAGE(toggle), mediumPicture(open ? kCollapsePicture : kExpandPicture));
}

namespace {

// The branch a branch belongs to; null for a top-level one.
GtkWidget *parentBranch(GtkWidget *branch) {
  GtkWidget *container = gtk_widget_get_parent(branch);
  return container == nullptr || isNamed(container, kRootName) ? nullptr : gtk_widget_get_parent(container);
}

// The branch `step` places after (or before) `branch` among its siblings, or null.
GtkWidget *sibling(GtkWidget *branch, int step) {
  GList *siblings = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(branch)));
  int at = g_list_index(siblings, branch);
  GtkWidget *found = at < 0 || at + step < 0
                         ? nullptr
                         : static_cast<GtkWidget *>(g_list_nth_data(siblings, static_cast<guint>(at + step)));
  g_list_free(siblings);
  return found;
}

// The branch shown next below `branch`: its first child when it is open,
// otherwise the next sibling of it or of the nearest branch above it.
GtkWidget *nextShown(GtkWidget *branch) {
  if (branchOpen(branch))
    if (GtkWidget *first = nthChild(nthChild(branch, 1), 0)) return first;
  for (GtkWidget *current = branch; current != nullptr; current = parentBranch(current))
    if (GtkWidget *next = sibling(current, 1)) return next;
  return nullptr;
}

// The branch shown just above `branch`: the last branch shown inside the
// previous sibling, or the branch it belongs to.
GtkWidget *previousShown(GtkWidget *branch) {
  GtkWidget *previous = sibling(branch, -1);
  if (previous == nullptr) return parentBranch(branch);
  while (branchOpen(previous)) {
    GList *children = gtk_container_get_children(GTK_CONTAINER(nthChild(previous, 1)));
    GtkWidget *last = children == nullptr ? nullptr : static_cast<GtkWidget *>(g_list_last(children)->data);
    g_list_free(children);
    if (last == nullptr) break;
    previous = last;
  }
  return previous;
}

bool focusBranch(GtkWidget *branch) {
  GtkWidget *widget = branch == nullptr ? nullptr : branchWidget(branch);
  if (widget == nullptr) return false;
  gtk_widget_grab_focus(gtk_widget_get_parent(widget));
  return true;
}

}  // namespace

bool answerBranchKey(GtkWidget *eventBox, guint keyval) {
  GtkWidget *branch = gtk_widget_get_parent(gtk_widget_get_parent(eventBox));
  if (branch == nullptr || !isNamed(eventBox, "branch-event-box") || !isNamed(branch, "branch")) return false;
  bool row = !GTK_IS_IMAGE(branchWidget(branch));
  switch (keyval) {
    case GDK_Down:
    case GDK_KP_Down:
      focusBranch(nextShown(branch));
      return true;
    case GDK_Up:
    case GDK_KP_Up:
      focusBranch(previousShown(branch));
      return true;
    // Tab follows the same order; the toolkit's own would sort the branches by
    // their places, which a branch just opened does not have yet. From the last
    // branch and the first one the toolkit goes on out of the tree.
    case GDK_Tab:
    case GDK_KP_Tab:
      return focusBranch(nextShown(branch));
    case GDK_ISO_Left_Tab:
      return focusBranch(previousShown(branch));
    case GDK_Right:
    case GDK_KP_Right:
      if (!row) return false;
      if (branchOpen(branch))
        focusBranch(nthChild(nthChild(branch, 1), 0));
      else
        setBranchOpen(branch, true);
      return true;
    case GDK_Left:
    case GDK_KP_Left:
      if (!row) return false;
      if (branchOpen(branch))
        setBranchOpen(branch, false);
      else
        focusBranch(parentBranch(branch));
      return true;
    default:
      return false;
  }
}

// ---- Signal handlers --------------------------------------------------------

// Every button-press event toggles once, whatever the button or event type, so
// a double click (two presses and the double-press) toggles three times.
gboolean onBranchPressed(GtkWidget *widget, GdkEventButton *, GtkWidget *) {
  GtkWidget *branch = gtk_widget_get_parent(gtk_widget_get_parent(gtk_widget_get_parent(widget)));
  if (nthChild(branch, 1) == nullptr) return FALSE;
  setBranchOpen(branch, !branchOpen(branch));
  return TRUE;
}
