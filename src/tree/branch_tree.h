// BranchTree: a collapsible tree assembled from boxes, alignments, event boxes,
// labels and pictures, found again by widget names and child positions. It
// knows nothing of studies or pictures. All operations need the toolkit's lock.
#pragma once

#include <gtk/gtk.h>

#include <string>

struct BranchTree {
  // Vertical box "MAIN TREE VBOX"; its parent is the black event box that the
  // user puts into a scrolled window. Top-level branches are its children.
  GtkWidget *rootBox = nullptr;
};

// Builds the root box and its black event box, both shown.
BranchTree &createTreeRoot(BranchTree &tree);

// The black event box around the root box (what goes into the scrolled window).
GtkWidget *treeOuterEventBox(const BranchTree &tree);

// Wraps `widget` into a branch at `branchLevel` (indent 15 pixels a level).
GtkWidget *newBranch(GtkWidget *widget, int branchLevel);

// A branch whose widget is a label row: toggle picture and white text.
GtkWidget *newLabelBranch(std::string text, int branchLevel);

// Packs the branch into `parent` (the root box when null) and connects its
// fold/unfold press handler. Returns false.
bool attachBranch(BranchTree &tree, GtkWidget *branch, GtkWidget *parent);

// The branch's "children-container", created hidden when it does not exist yet.
GtkWidget *childrenContainer(GtkWidget *branch);

// The index-th child branch of `branch`, or of the root when `branch` is null;
// null when there is none.
GtkWidget *childBranch(const BranchTree &tree, GtkWidget *branch, int index);

// The widget a branch wraps (its "branch-widget"): the branch's first child,
// its first child, and that one's first child. Null when the shape differs.
GtkWidget *branchWidget(GtkWidget *branch);

// The branch's "expand-collapse-img", or null (picture branches have none).
GtkWidget *findToggleImage(GtkWidget *branch);

// Whether the branch's children are shown; and showing or hiding them with the
// toggle picture to match (a branch without children stays as it is).
bool branchOpen(GtkWidget *branch);
void setBranchOpen(GtkWidget *branch, bool open);

// An arrow key or Tab on a branch's event box, as a tree view answers it: ↓
// and Tab, ↑ and Shift+Tab go to the next and previous branch shown (into an
// open branch; Tab leaves the key to the toolkit at either end); on a label
// row → opens a closed branch or goes into an open one, ← closes an open one
// or goes to the branch it belongs to. A picture branch leaves → and ← to the
// caller. Returns whether the key was used.
bool answerBranchKey(GtkWidget *eventBox, guint keyval);

// "button_press_event" handler of a branch's event box: folds or unfolds.
gboolean onBranchPressed(GtkWidget *branchWidget, GdkEventButton *event, GtkWidget *eventBox);

// Unfolds every branch between `widget` and the root, then runs pending events.
void expandPathTo(GtkWidget *widget);

// The widget's vertical position in the tree, in pixels.
int treeOffsetOf(GtkWidget *widget);
