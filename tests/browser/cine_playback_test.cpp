// Cine playback on a real browser: the frames, the controls while it runs, and
// stopping it by the button or by closing the window.
#include "browser/cine_playback.h"

#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/navigation.h"

#include "support/browser_session.h"
#include "support/gui.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

std::string tooltipOf(GtkWidget *widget) {
  gchar *text = gtk_widget_get_tooltip_text(widget);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

// Counts the pictures put into the image view, with the time of each and what
// it showed: on a busy machine two frames may come in one turn of the loop.
class CinePlaybackTest : public BrowserSession {
 protected:
  void TearDown() override {
    setPictureShownObserver(nullptr);
    BrowserSession::TearDown();
  }
  void watchFrames() {
    setPictureShownObserver([this] {
      frameTimes_.push_back(g_get_monotonic_time());
      shownFrames_.push_back({currentPosition(), browser.selectedThumbnail, shownSize()});
    });
  }
  int frames() const { return static_cast<int>(frameTimes_.size()); }
  bool waitForFrames(int count) {
    return waitUntil([&] { return frames() >= count; });
  }
  // True when no further picture arrives within a few intervals.
  bool staysStill() {
    int seen = frames();
    return !waitUntil([&] { return frames() > seen; }, 5 * kCineFrameInterval);
  }
  static void expectIdleControls() {
    EXPECT_FALSE(browser.cinePlaying);
    EXPECT_TRUE(
        imageShowsFile(gtk_button_get_image(GTK_BUTTON(browser.playButton)), tmpPath("/img/play.png")));
    EXPECT_EQ(tooltipOf(browser.playButton), " Rozpocznij odtwarzanie serii ");
    for (GtkWidget *control : {browser.nextImageButton, browser.nextSeriesButton, browser.prevImageButton,
                               browser.prevSeriesButton, browser.treeScroller})
      EXPECT_TRUE(gtk_widget_is_sensitive(control));
  }

  struct Shown {
    BrowserPosition position;
    GtkWidget *selected;
    std::pair<int, int> size;
  };
  std::vector<gint64> frameTimes_;
  std::vector<Shown> shownFrames_;
};

TEST_F(CinePlaybackTest, PlayLoopsTheSeriesWithTheControlsDisabledAndStopFramesTheLastPicture) {
  openBrowser();
  watchFrames();
  click(browser.playButton);  // no position yet: the first series of the first study
  EXPECT_TRUE(browser.cinePlaying);
  EXPECT_TRUE(imageShowsFile(gtk_button_get_image(GTK_BUTTON(browser.playButton)), tmpPath("/img/stop.png")));
  EXPECT_EQ(tooltipOf(browser.playButton), " Zatrzymaj odtwarzanie serii ");
  for (GtkWidget *control : {browser.nextImageButton, browser.nextSeriesButton, browser.prevImageButton,
                             browser.prevSeriesButton, browser.treeScroller})
    EXPECT_FALSE(gtk_widget_is_sensitive(control));
  for (GtkWidget *control : {browser.playButton, zoomInButton(), zoomOutButton()})
    EXPECT_TRUE(gtk_widget_is_sensitive(control));
  EXPECT_TRUE(gtk_widget_get_mapped(thumbnail(0, 0, 0)));  // the tree shows where playback begins

  ASSERT_TRUE(waitForFrames(3));
  EXPECT_EQ(shownFrames_[0].position, (BrowserPosition{0, 0, 1}));  // the first frame is the next picture
  EXPECT_EQ(shownFrames_[0].selected, thumbnail(0, 0, 1));
  EXPECT_EQ(shownFrames_[0].size, std::make_pair(101, 90));
  EXPECT_EQ(shownFrames_[2].position, (BrowserPosition{0, 0, 0}));  // round again
  for (int image = 0; image < 3; ++image) EXPECT_EQ(frameColour(thumbnail(0, 0, image)), "#000000");

  // The disabled steps and tree ignore the pointer; zoom works at once.
  click(browser.nextSeriesButton);
  sendButtonEvent(gtk_widget_get_parent(thumbnail(0, 0, 2)));
  EXPECT_EQ(browser.currentSeries, 0);
  for (int image = 0; image < 3; ++image) EXPECT_EQ(frameColour(thumbnail(0, 0, image)), "#000000");
  click(zoomInButton());
  ASSERT_TRUE(waitForFrames(frames() + 1));
  EXPECT_EQ(shownSize().second, 108);

  click(browser.playButton);
  expectIdleControls();
  GtkWidget *last = thumbnail(0, 0, browser.currentImage);
  EXPECT_EQ(browser.selectedThumbnail, last);
  EXPECT_EQ(frameColour(last), "#aa0000");
  EXPECT_EQ(shownSize(), std::make_pair(static_cast<int>((100 + browser.currentImage) * 1.2), 108));
  EXPECT_TRUE(staysStill());

  int stoppedAt = browser.currentImage;
  click(browser.nextImageButton);
  EXPECT_EQ(browser.currentImage, (stoppedAt + 1) % 3);
}

TEST_F(CinePlaybackTest, AStopAndAStartAtOnceStillAdvanceOncePerInterval) {
  openBrowser();
  click(browser.nextImageButton);
  watchFrames();
  click(browser.playButton);
  ASSERT_TRUE(waitForFrames(1));
  click(browser.playButton);
  click(browser.playButton);
  EXPECT_TRUE(browser.cinePlaying);
  int start = frames();
  gint64 started = g_get_monotonic_time();
  const int count = 8;
  ASSERT_TRUE(waitForFrames(start + count));
  gint64 elapsedMs = (frameTimes_[start + count - 1] - started) / 1000;
  // A second timer would bring the eighth frame in about half the time.
  EXPECT_GE(elapsedMs, count * static_cast<gint64>(kCineFrameInterval) * 85 / 100);
}

TEST_F(CinePlaybackTest, ClosingTheWindowStopsPlaybackAndTheReopenedBrowserIsIdle) {
  openBrowser();
  watchFrames();
  click(browser.playButton);
  ASSERT_TRUE(waitForFrames(2));
  sendDeleteEvent(browser.browserWindow);
  EXPECT_FALSE(gtk_widget_get_visible(browser.browserWindow));
  expectIdleControls();
  EXPECT_EQ(frameColour(browser.selectedThumbnail), "#aa0000");
  EXPECT_EQ(browser.selectedThumbnail, thumbnail(0, 0, browser.currentImage));
  EXPECT_TRUE(staysStill());

  pressTile();
  ASSERT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
  expectIdleControls();
  int before = browser.currentImage;
  click(browser.prevImageButton);
  EXPECT_EQ(browser.currentImage, (before + 2) % 3);
}

TEST_F(CinePlaybackTest, AnEmptySeriesDoesNotPlayAndASeriesOfOneRepeatsItsPicture) {
  openBrowser({{"CT", "", {{"A", {{70, 50}}}, {"B", {}}}}});
  click(browser.nextSeriesButton);
  click(browser.nextSeriesButton);
  ASSERT_EQ(currentPosition(), (BrowserPosition{0, 1, 0}));
  click(browser.playButton);
  expectIdleControls();

  click(browser.nextSeriesButton);
  watchFrames();
  click(browser.playButton);
  ASSERT_TRUE(waitForFrames(3));
  EXPECT_EQ(browser.currentImage, 0);
  EXPECT_EQ(shownSize(), std::make_pair(70, 50));
}

}  // namespace
