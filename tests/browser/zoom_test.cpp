// The zoom buttons on a real browser: the factor, its lower and upper limits,
// and the centred view.
#include "browser/navigation.h"

#include "browser/browser_state.h"
#include "browser/image_view.h"

#include "support/browser_session.h"
#include "support/gui.h"
#include "support/picture_bytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

using namespace testsupport;

using ZoomTest = BrowserSession;

std::vector<StudyOnMedium> oneSeries(std::vector<std::pair<int, int>> pictures) {
  return {{"CT", "", {{"A", std::move(pictures)}}}};
}

TEST_F(ZoomTest, A512PictureZoomsOutSeventeenTimesAndTheEighteenthPressChangesNothing) {
  openBrowser(oneSeries({{512, 512}}));
  click(browser.nextImageButton);
  ASSERT_EQ(shownSize(), std::make_pair(512, 512));
  for (int press = 1; press <= 17; ++press) click(zoomOutButton());
  EXPECT_EQ(shownSize(), std::make_pair(23, 23));
  double factor = browser.zoomFactor;
  click(zoomOutButton());
  EXPECT_EQ(shownSize(), std::make_pair(23, 23));
  EXPECT_NEAR(browser.zoomFactor, factor, 1e-12);
  click(zoomInButton());
  EXPECT_EQ(shownSize(), std::make_pair(27, 27));
}

TEST_F(ZoomTest, ZoomingInStopsAtTheLargestSize) {
  openBrowser(oneSeries({{6000, 30}}));
  click(browser.nextImageButton);
  click(zoomInButton());
  EXPECT_EQ(shownSize(), std::make_pair(7200, 36));
  for (int press = 0; press < 3; ++press) {
    click(zoomInButton());
    EXPECT_EQ(shownSize(), std::make_pair(8192, 40));
  }
  click(zoomOutButton());
  EXPECT_EQ(shownSize(), std::make_pair(6826, 34));
}

TEST_F(ZoomTest, AFactorGrownOnASmallPictureShowsALargerOneAtTheLargestSize) {
  openBrowser(oneSeries({{100, 20}, {4000, 20}}));
  click(browser.nextImageButton);
  int presses = 0;
  for (std::pair<int, int> last{0, 0}; shownSize() != last && presses < 40; ++presses) {
    last = shownSize();
    click(zoomInButton());
  }
  EXPECT_LE(shownSize().first, 8192);
  EXPECT_GT(shownSize().first, 8192 / 1.2);
  click(browser.nextImageButton);
  EXPECT_EQ(shownSize(), std::make_pair(8192, 40));  // the shape kept, the size bounded
  // The factor is the one of the largest size: the first press out shows a smaller picture.
  click(zoomOutButton());
  EXPECT_EQ(shownSize(), std::make_pair(6826, 34));
  click(browser.nextImageButton);
  EXPECT_EQ(shownSize(), std::make_pair(170, 34));
}

TEST_F(ZoomTest, TheFactorStaysAcrossStepsAndReopeningAndNeedsAPicture) {
  openBrowser();
  click(zoomInButton());  // nothing shown yet
  EXPECT_DOUBLE_EQ(browser.zoomFactor, 1.0);
  click(browser.nextImageButton);
  click(zoomInButton());
  click(zoomInButton());
  EXPECT_EQ(shownSize(), std::make_pair(144, 129));  // 100 x 90 at 1.44
  click(browser.nextImageButton);
  EXPECT_EQ(shownSize(), std::make_pair(145, 129));
  click(browser.nextSeriesButton);
  EXPECT_EQ(shownSize(), std::make_pair(158, 129));
  sendDeleteEvent(browser.browserWindow);
  pressTile();
  EXPECT_EQ(shownSize(), std::make_pair(158, 129));
  click(browser.nextImageButton);
  EXPECT_EQ(shownSize(), std::make_pair(159, 129));
}

TEST_F(ZoomTest, ZoomingCentresTheViewOnThePicture) {
  openBrowser(oneSeries({{1000, 900}}));
  click(browser.nextImageButton);
  click(zoomInButton());
  ASSERT_EQ(shownSize(), std::make_pair(1200, 1080));
  GtkAllocation view;
  gtk_widget_get_allocation(browser.imageScroller, &view);
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(browser.imageScroller);
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_hadjustment(scroller)),
                   (1200 - view.width) / 2);
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_vadjustment(scroller)),
                   (1080 - view.height) / 2);
  drainEvents();  // the next layout keeps it there
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_hadjustment(scroller)),
                   (1200 - view.width) / 2);

  for (int press = 0; press < 5; ++press) click(zoomOutButton());
  // Smaller than the view: at the start, where the layout centres it.
  ASSERT_EQ(shownSize(), std::make_pair(482, 434));
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_hadjustment(scroller)), 0);
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(gtk_scrolled_window_get_vadjustment(scroller)), 0);
}

// What the view draws, read back from the screen, against the whole picture
// scaled as before: the same pixels at every zoom step and scroll position.
TEST_F(ZoomTest, TheViewShowsTheWholePictureScaledAtEveryStepAndScrollPosition) {
  makeMedium(oneSeries({{300, 200}}));
  medium_.writeFile("REFIMG/ST001/SE001/IM001.png", pngBytes(300, 200));
  pressTile();
  ASSERT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
  click(browser.nextImageButton);
  // The thumbnail stands in until the worker has decoded the full picture.
  ASSERT_TRUE(waitUntil([] { return gdk_pixbuf_get_width(viewedPixels()) == 300; }));
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> full(
      gdk_pixbuf_new_from_file(medium_.path("REFIMG/ST001/SE001/IM001.png").c_str(), nullptr),
      g_object_unref);
  ASSERT_TRUE(full);
  GtkScrolledWindow *scroller = GTK_SCROLLED_WINDOW(browser.imageScroller);
  for (int step = 0; step < 10; ++step, click(zoomInButton())) {
    auto [width, height] = shownSize();
    std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> expected(
        gdk_pixbuf_scale_simple(full.get(), width, height, GDK_INTERP_BILINEAR), g_object_unref);
    for (double along : {0.0, 0.37, 1.0}) {
      for (GtkAdjustment *a :
           {gtk_scrolled_window_get_hadjustment(scroller), gtk_scrolled_window_get_vadjustment(scroller)})
        gtk_adjustment_set_value(a, gtk_adjustment_get_lower(a) + along * (gtk_adjustment_get_upper(a) -
                                                                           gtk_adjustment_get_page_size(a)));
      drainEvents();
      // The part of the picture inside the scrolled area, in the canvas's coordinates.
      GtkAllocation place, view, backdrop;
      gtk_widget_get_allocation(browser.imageView, &place);
      gtk_widget_get_allocation(gtk_bin_get_child(GTK_BIN(browser.imageScroller)), &view);
      gtk_widget_get_allocation(gtk_widget_get_parent(gtk_widget_get_parent(browser.imageView)), &backdrop);
      int left = static_cast<int>(gtk_adjustment_get_value(gtk_scrolled_window_get_hadjustment(scroller)));
      int top = static_cast<int>(gtk_adjustment_get_value(gtk_scrolled_window_get_vadjustment(scroller)));
      GdkRectangle seen{left - backdrop.x, top - backdrop.y, view.width, view.height};
      GdkRectangle picture{place.x, place.y, width, height}, both;
      ASSERT_TRUE(gdk_rectangle_intersect(&seen, &picture, &both));
      // Drawn into a pixmap of its own: windows of tests running beside this
      // one may cover the screen.
      GdkRectangle clip{both.x - place.x, both.y - place.y, both.width, both.height};
      std::unique_ptr<GdkPixmap, decltype(&g_object_unref)> snapshot(
          gtk_widget_get_snapshot(browser.imageView, &clip), g_object_unref);
      ASSERT_TRUE(snapshot);
      std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> drawn(
          gdk_pixbuf_get_from_drawable(nullptr, snapshot.get(), nullptr, 0, 0, 0, 0, both.width, both.height),
          g_object_unref);
      ASSERT_TRUE(drawn);
      std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> wanted(
          gdk_pixbuf_new_subpixbuf(expected.get(), both.x - place.x, both.y - place.y, both.width,
                                   both.height),
          g_object_unref);
      int differing = 0;
      for (int y = 0; y < both.height; ++y)
        differing +=
            std::memcmp(gdk_pixbuf_get_pixels(drawn.get()) + y * gdk_pixbuf_get_rowstride(drawn.get()),
                        gdk_pixbuf_get_pixels(wanted.get()) + y * gdk_pixbuf_get_rowstride(wanted.get()),
                        static_cast<size_t>(both.width) * 3) != 0;
      EXPECT_EQ(differing, 0) << width << " x " << height << " scrolled to " << left << ", " << top;
    }
  }
}

}  // namespace
