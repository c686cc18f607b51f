// Thumbnails beyond their byte budget give their pixels up and get them back
// when the user opens their series: the tree and the counts stay whole.
#include "browser/thumbnail_pixels.h"

#include "browser/browser_state.h"
#include "browser/navigation.h"
#include "browser/thumbnail_index.h"
#include "tree/branch_tree.h"

#include "support/browser_session.h"
#include "support/gui.h"

namespace {

using namespace testsupport;
using ThumbnailPixelsTest = BrowserSession;

bool blank(int study, int series, int image) {
  return gtk_image_get_pixbuf(GTK_IMAGE(ThumbnailIndex.at(study).at(series).at(image))) == blankThumbnail();
}
void pressRow(GtkWidget *branch) { sendButtonEvent(gtk_widget_get_parent(branchWidget(branch))); }

TEST_F(ThumbnailPixelsTest, OnlyTheBudgetHoldsPixelsAndAnOpenedSeriesIsDrawnFromTheDiscAgain) {
  setThumbnailPixelBudget(3 * 128 * 128 * 3);
  openBrowser();  // study 0: series of 3 and 2; study 1: one of 4, whose last three were loaded last
  EXPECT_EQ(thumbnailsWithPixels(), 3u);
  EXPECT_EQ(catalogueShape(ThumbnailIndex), (CatalogueShape{{3, 2}, {4}}));
  EXPECT_TRUE(blank(0, 0, 0) && blank(0, 1, 1) && blank(1, 0, 0) && !blank(1, 0, 1) && !blank(1, 0, 3));
  GtkWidget *study = childBranch(*browser.browserTree, nullptr, 0);
  pressRow(study);
  pressRow(childBranch(*browser.browserTree, study, 0));
  EXPECT_TRUE(waitUntil([] { return !blank(0, 0, 0) && !blank(0, 0, 1) && !blank(0, 0, 2); }));
  GdkPixbuf *pixels = gtk_image_get_pixbuf(GTK_IMAGE(thumbnail(0, 0, 1)));
  EXPECT_EQ(gdk_pixbuf_get_width(pixels), 128);
  EXPECT_EQ(gdk_pixbuf_get_pixels(pixels)[0], 0x33) << "the picture's own colour";
  EXPECT_EQ(thumbnailsWithPixels(), 3u);
  EXPECT_TRUE(blank(1, 0, 3)) << "the least recently drawn gave theirs up";
  sendButtonEvent(gtk_widget_get_parent(thumbnail(0, 0, 2)));
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(browser.positionLabel))).substr(0, 11), "Obraz 3 z 3");
  setThumbnailPixelBudget(kDefaultThumbnailPixelBudget);
}

}  // namespace
