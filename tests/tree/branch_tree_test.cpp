// The collapsible tree as a user meets it: names, indents, folding by real
// presses, unfolding a path, and positions for scrolling.
#include "tree/branch_tree.h"

#include "platform/glib_owners.h"
#include "support/gui.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace testsupport;

const char *const kExpand = "img/toggle_expand.png";
const char *const kCollapse = "img/toggle_colapse.png";

// A medium with distinct toggle pictures and a shown window holding a tree.
class BranchTreeTest : public testing::Test {
 protected:
  void SetUp() override {
    medium_.writePicture(kExpand, 9, 9);
    medium_.writePicture(kCollapse, 11, 9);
    createTreeRoot(tree_);
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 300, 600);
    gtk_container_add(GTK_CONTAINER(window_), treeOuterEventBox(tree_));
    gtk_widget_show(window_);
    // Pointer clicks need the window mapped by the X server, not only shown.
    ASSERT_TRUE(waitUntil([this] { return gdk_window_is_viewable(gtk_widget_get_window(window_)); }));
  }
  void TearDown() override { gtk_widget_destroy(window_); }

  GtkWidget *eventBoxOf(GtkWidget *branch) { return findWidget(branch, "branch-event-box"); }
  GtkWidget *pictureBranch(int width, int height, int level) {
    UniqueObject<GdkPixbuf> pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
    return newBranch(gtk_image_new_from_pixbuf(pixbuf.get()), level);
  }
  // Study (level 0) > series (level 1) > one picture (level 2), all folded.
  GtkWidget *nestedPicture(const std::string &study) {
    GtkWidget *studyBranch = newLabelBranch(study, 0);
    attachBranch(tree_, studyBranch, nullptr);
    GtkWidget *series = newLabelBranch("Seria 1", 1);
    attachBranch(tree_, series, childrenContainer(studyBranch));
    GtkWidget *picture = pictureBranch(128, 128, 2);
    attachBranch(tree_, picture, childrenContainer(series));
    return findWidget(picture, "branch-widget");
  }

  ScopedMedium medium_;
  BranchTree tree_;
  GtkWidget *window_ = nullptr;
};

TEST_F(BranchTreeTest, RootIsANamedBoxInABlackEventBox) {
  ASSERT_NE(tree_.rootBox, nullptr);
  EXPECT_STREQ(gtk_widget_get_name(tree_.rootBox), "MAIN TREE VBOX");
  EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(tree_.rootBox)), 1);
  EXPECT_FALSE(gtk_box_get_homogeneous(GTK_BOX(tree_.rootBox)));
  GtkWidget *outer = treeOuterEventBox(tree_);
  EXPECT_TRUE(GTK_IS_EVENT_BOX(outer));
  EXPECT_EQ(gtk_widget_get_style(outer)->bg[GTK_STATE_NORMAL].red, 0);
  EXPECT_TRUE(isShownOnScreen(tree_.rootBox));
}

TEST_F(BranchTreeTest, LabelBranchHasTheNamedShapeAndIndent) {
  struct Case {
    int level;
    guint indent;
  };
  for (Case c : {Case{0, 0}, Case{1, 15}, Case{3, 45}}) {
    GtkWidget *branch = newLabelBranch("CT [Głowa]", c.level);
    attachBranch(tree_, branch, nullptr);
    EXPECT_STREQ(gtk_widget_get_name(branch), "branch");
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(branch)), 1);
    std::vector<GtkWidget *> parts = childrenOf(branch);
    ASSERT_EQ(parts.size(), 1u) << "no children container before it is asked for";
    GtkWidget *alignment = parts[0];
    EXPECT_STREQ(gtk_widget_get_name(alignment), "branch-align");
    guint top, bottom, left, right;
    gtk_alignment_get_padding(GTK_ALIGNMENT(alignment), &top, &bottom, &left, &right);
    EXPECT_EQ(left, c.indent);
    EXPECT_EQ(top + bottom + right, 0u);
    GtkWidget *eventBox = childrenOf(alignment).at(0);
    EXPECT_STREQ(gtk_widget_get_name(eventBox), "branch-event-box");
    GtkWidget *row = childrenOf(eventBox).at(0);
    // The row is named "label-hbox" when made, then "branch-widget" like every branch widget.
    EXPECT_TRUE(GTK_IS_HBOX(row));
    EXPECT_STREQ(gtk_widget_get_name(row), "branch-widget");
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(row)), 0);
    std::vector<GtkWidget *> rowParts = childrenOf(row);
    ASSERT_EQ(rowParts.size(), 2u);
    EXPECT_STREQ(gtk_widget_get_name(rowParts[0]), "expand-collapse-img");
    EXPECT_EQ(findToggleImage(branch), rowParts[0]);
    EXPECT_TRUE(imageShowsFile(rowParts[0], kExpand));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(rowParts[1])), "CT [Głowa]");
    EXPECT_EQ(gtk_widget_get_style(rowParts[1])->fg[GTK_STATE_NORMAL].green, 0xffff);
    EXPECT_TRUE(isShownOnScreen(rowParts[1]));
  }
  EXPECT_EQ(childrenOf(tree_.rootBox).size(), 3u);
}

TEST_F(BranchTreeTest, PressesFoldAndUnfoldOnlyABranchWithChildren) {
  GtkWidget *branch = newLabelBranch("MR [Kolano]", 0);
  attachBranch(tree_, branch, nullptr);
  drainEvents();
  GtkWidget *eventBox = eventBoxOf(branch);
  GtkWidget *toggle = findToggleImage(branch);

  sendButtonEvent(eventBox);
  EXPECT_EQ(childrenOf(branch).size(), 1u) << "pressing a branch without children changes nothing";
  EXPECT_TRUE(imageShowsFile(toggle, kExpand));

  GtkWidget *children = childrenContainer(branch);
  EXPECT_EQ(childrenContainer(branch), children);
  EXPECT_STREQ(gtk_widget_get_name(children), "children-container");
  EXPECT_FALSE(gtk_widget_get_visible(children));
  gboolean expand, fill;
  guint padding;
  GtkPackType pack;
  gtk_box_query_child_packing(GTK_BOX(branch), children, &expand, &fill, &padding, &pack);
  EXPECT_FALSE(expand);
  EXPECT_TRUE(fill);
  EXPECT_EQ(padding, 1u);

  ASSERT_TRUE(clickWithPointer(eventBox));
  EXPECT_TRUE(gtk_widget_get_visible(children));
  EXPECT_TRUE(imageShowsFile(toggle, kCollapse));
  ASSERT_TRUE(clickWithPointer(eventBox, 3));
  EXPECT_FALSE(gtk_widget_get_visible(children));
  EXPECT_TRUE(imageShowsFile(toggle, kExpand));

  // A double click: two presses and the double-press event.
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_PRESS, GDK_2BUTTON_PRESS})
    sendButtonEvent(eventBox, type);
  EXPECT_TRUE(gtk_widget_get_visible(children));
  EXPECT_TRUE(imageShowsFile(toggle, kCollapse));
}

TEST_F(BranchTreeTest, PictureBranchFrameFollowsPictureWidthAndStyle) {
  GtkWidget *branch = pictureBranch(128, 64, 2);
  attachBranch(tree_, branch, nullptr);
  GtkWidget *image = findWidget(branch, "branch-widget");
  ASSERT_TRUE(GTK_IS_IMAGE(image));
  EXPECT_EQ(findToggleImage(branch), nullptr);

  GtkStyle *style = gtk_widget_get_style(image);
  int width = -1, height = -1;
  gtk_widget_get_size_request(eventBoxOf(branch), &width, &height);
  EXPECT_EQ(width, 128 + style->xthickness + 2);
  EXPECT_EQ(height, 128 + style->ythickness + 2) << "both sides come from the width";

  guint top, bottom, left, right;
  gtk_alignment_get_padding(GTK_ALIGNMENT(findWidget(branch, "branch-align")), &top, &bottom, &left, &right);
  EXPECT_EQ(left, 30u);

  sendButtonEvent(eventBoxOf(branch));
  EXPECT_EQ(childrenOf(branch).size(), 1u);
}

TEST_F(BranchTreeTest, ChildBranchByPosition) {
  GtkWidget *first = newLabelBranch("A", 0);
  GtkWidget *second = newLabelBranch("B", 0);
  attachBranch(tree_, first, nullptr);
  attachBranch(tree_, second, nullptr);
  GtkWidget *child = newLabelBranch("A1", 1);
  EXPECT_EQ(childBranch(tree_, first, 0), nullptr) << "no children container yet";
  attachBranch(tree_, child, childrenContainer(first));

  EXPECT_EQ(childBranch(tree_, nullptr, 0), first);
  EXPECT_EQ(childBranch(tree_, nullptr, 1), second);
  EXPECT_EQ(childBranch(tree_, nullptr, 2), nullptr);
  EXPECT_EQ(childBranch(tree_, nullptr, -1), nullptr);
  EXPECT_EQ(childBranch(tree_, first, 0), child);
  EXPECT_EQ(childBranch(tree_, first, 1), nullptr);
  EXPECT_EQ(childBranch(tree_, second, 0), nullptr);
}

TEST_F(BranchTreeTest, ExpandPathToUnfoldsEveryBranchAboveAPicture) {
  nestedPicture("CT [Płuca]");
  GtkWidget *picture = nestedPicture("MR [Głowa]");
  GtkWidget *study = childBranch(tree_, nullptr, 1);
  GtkWidget *series = childBranch(tree_, study, 0);
  drainEvents();
  EXPECT_FALSE(isShownOnScreen(picture));

  expandPathTo(picture);
  EXPECT_TRUE(isShownOnScreen(picture));
  EXPECT_TRUE(imageShowsFile(findToggleImage(study), kCollapse));
  EXPECT_TRUE(imageShowsFile(findToggleImage(series), kCollapse));
  EXPECT_FALSE(gtk_widget_get_visible(childrenContainer(childBranch(tree_, nullptr, 0))))
      << "the other study stays folded";
  EXPECT_TRUE(gtk_widget_get_mapped(picture)) << "pending events have run";

  // A press on the unfolded study folds it again: the state and picture agree.
  sendButtonEvent(eventBoxOf(study));
  EXPECT_FALSE(isShownOnScreen(picture));
  EXPECT_TRUE(imageShowsFile(findToggleImage(study), kExpand));
}

TEST_F(BranchTreeTest, TreeOffsetIsTheFirstPositivePositionOnTheWayUp) {
  GtkWidget *top = nestedPicture("CT [Płuca]");
  GtkWidget *lower = nestedPicture("MR [Głowa]");
  expandPathTo(top);
  expandPathTo(lower);

  EXPECT_EQ(treeOffsetOf(tree_.rootBox), 0);
  EXPECT_EQ(treeOffsetOf(childBranch(tree_, nullptr, 0)), 0) << "the first study sits at the very top";
  GtkWidget *secondStudy = childBranch(tree_, nullptr, 1);
  GtkAllocation allocation;
  gtk_widget_get_allocation(secondStudy, &allocation);
  EXPECT_GT(allocation.y, 128);
  EXPECT_EQ(treeOffsetOf(secondStudy), allocation.y);
  int topOffset = treeOffsetOf(top);
  int lowerOffset = treeOffsetOf(lower);
  EXPECT_GT(topOffset, 0);
  EXPECT_GT(lowerOffset, topOffset + 128);
}

}  // namespace
