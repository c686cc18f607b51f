// The step buttons on a real browser: which picture they show, the selection
// frame, the information line, and the tree unfolding and scrolling to it.
#include "browser/navigation.h"

#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "catalogue/reference_catalogue.h"
#include "tree/branch_tree.h"

#include "support/browser_session.h"
#include "support/gui.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

using NavigationTest = BrowserSession;

std::string lineText() { return gtk_label_get_text(GTK_LABEL(browser.infoLabel)); }

// Whether the thumbnail lies within the part of the tree the scroller shows.
bool inTreeView(GtkWidget *thumbnail) {
  GtkAdjustment *adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(browser.treeScroller));
  GtkWidget *frame = gtk_widget_get_parent(thumbnail);
  int top = 0;
  if (!gtk_widget_translate_coordinates(frame, browser.browserTree->rootBox, 0, 0, nullptr, &top))
    return false;
  GtkAllocation allocation;
  gtk_widget_get_allocation(frame, &allocation);
  double value = gtk_adjustment_get_value(adjustment);
  return top >= value && top + allocation.height <= value + gtk_adjustment_get_page_size(adjustment);
}

TEST_F(NavigationTest, StepsFromNoPositionLandOnTheFirstAndLastPictures) {
  openBrowser();
  struct Case {
    const char *what;
    GtkWidget **button;
    BrowserPosition to;
    std::pair<int, int> size;
    const char *series;
  } cases[] = {
      {"next image", &browser.nextImageButton, {0, 0, 0}, {100, 90}, "OPIS SERII: Osiowa"},
      {"previous image", &browser.prevImageButton, {0, 0, 2}, {102, 90}, "OPIS SERII: Osiowa"},
      {"next series", &browser.nextSeriesButton, {0, 0, 0}, {100, 90}, "OPIS SERII: Osiowa"},
      {"previous series",
       &browser.prevSeriesButton,
       {1, 0, 0},
       {120, 90},
       "OPIS BADANIA: brak, OPIS SERII: "},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    setCurrentPosition({-1, -1, -1});  // as right after opening
    GtkWidget *before = browser.selectedThumbnail;
    click(*c.button);
    EXPECT_EQ(currentPosition(), c.to);
    GtkWidget *shown = thumbnail(c.to.study, c.to.series, c.to.image);
    EXPECT_EQ(browser.selectedThumbnail, shown);
    EXPECT_EQ(frameColour(shown), "#aa0000");
    if (before != nullptr && before != shown) {
      EXPECT_EQ(frameColour(before), "#000000");
    }
    EXPECT_EQ(shownSize(), c.size);
    EXPECT_NE(lineText().find(c.series), std::string::npos) << lineText();
    EXPECT_TRUE(gtk_widget_get_mapped(shown));
    EXPECT_TRUE(inTreeView(shown));
  }
}

TEST_F(NavigationTest, StepsWrapAtTheEndsOfSeriesAndCatalogue) {
  openBrowser();
  struct Step {
    GtkWidget **button;
    BrowserPosition to;
  } walk[] = {
      {&browser.nextImageButton, {0, 0, 0}},  {&browser.nextImageButton, {0, 0, 1}},
      {&browser.nextImageButton, {0, 0, 2}},  {&browser.nextImageButton, {0, 0, 0}},
      {&browser.prevImageButton, {0, 0, 2}},  {&browser.nextSeriesButton, {0, 1, 0}},
      {&browser.prevImageButton, {0, 1, 1}},  {&browser.nextSeriesButton, {1, 0, 0}},
      {&browser.prevImageButton, {1, 0, 3}},  {&browser.nextImageButton, {1, 0, 0}},
      {&browser.nextSeriesButton, {0, 0, 0}}, {&browser.prevSeriesButton, {1, 0, 0}},
      {&browser.prevSeriesButton, {0, 1, 0}}, {&browser.prevSeriesButton, {0, 0, 0}},
  };
  int step = 0;
  for (const Step &s : walk) {
    SCOPED_TRACE(step++);
    click(*s.button);
    EXPECT_EQ(currentPosition(), s.to);
    EXPECT_EQ(browser.selectedThumbnail, thumbnail(s.to.study, s.to.series, s.to.image));
    EXPECT_TRUE(inTreeView(browser.selectedThumbnail));
  }
}

TEST_F(NavigationTest, AStepUnfoldsFoldedBranchesAndScrollsTheTreeToTheThumbnail) {
  openBrowser({{"CT", "", {{"A", std::vector<std::pair<int, int>>(6, {64, 64})}}},
               {"MR", "", {{"B", {{64, 64}}}, {"C", std::vector<std::pair<int, int>>(6, {64, 64})}}}});
  GtkWidget *last = thumbnail(1, 1, 5);
  EXPECT_FALSE(gtk_widget_get_mapped(last));  // every branch starts folded
  click(browser.prevSeriesButton);            // the last series of the last study
  click(browser.prevImageButton);             // its last picture
  EXPECT_EQ(browser.selectedThumbnail, last);
  EXPECT_TRUE(gtk_widget_get_mapped(last));
  GtkAdjustment *adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(browser.treeScroller));
  EXPECT_GT(gtk_adjustment_get_value(adjustment), 0);
  EXPECT_TRUE(inTreeView(last));

  click(browser.nextSeriesButton);  // back to the top of the tree
  EXPECT_EQ(browser.selectedThumbnail, thumbnail(0, 0, 0));
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(adjustment), 0);
  EXPECT_TRUE(inTreeView(browser.selectedThumbnail));
}

TEST_F(NavigationTest, ASeriesStepOntoAnEmptySeriesClearsTheViewAndTheFrame) {
  makeMedium({{"CT", "", {{"A", {{80, 60}, {81, 60}}}, {"Pusta", {}}}}});
  medium_.makeDirectory("REFIMG/ST001/SE002");
  pressTile();
  ASSERT_NE(browser.browserWindow, nullptr);
  click(browser.nextImageButton);
  GtkWidget *selected = browser.selectedThumbnail;
  ASSERT_NE(selected, nullptr);
  gchar *tooltip = gtk_widget_get_tooltip_text(browser.infoLabel);

  click(browser.nextSeriesButton);
  EXPECT_EQ(currentPosition(), (BrowserPosition{0, 1, 0}));
  EXPECT_EQ(viewedPictureSize(), std::make_pair(0, 0));
  EXPECT_EQ(lineText(), "");
  EXPECT_EQ(frameColour(selected), "#000000");
  EXPECT_EQ(browser.selectedThumbnail, selected);
  gchar *kept = gtk_widget_get_tooltip_text(browser.infoLabel);
  EXPECT_STREQ(kept, tooltip);
  g_free(kept);
  g_free(tooltip);

  // Image steps and zoom in the empty series change nothing.
  for (GtkWidget *button :
       {browser.nextImageButton, browser.prevImageButton, zoomInButton(), zoomOutButton()})
    click(button);
  EXPECT_EQ(viewedPictureSize(), std::make_pair(0, 0));
  EXPECT_DOUBLE_EQ(browser.zoomFactor, 1.0);

  click(browser.nextSeriesButton);
  EXPECT_EQ(currentPosition(), (BrowserPosition{0, 0, 0}));
  EXPECT_EQ(shownSize(), std::make_pair(80, 60));
  EXPECT_EQ(frameColour(selected), "#aa0000");
}

}  // namespace
