// Full pictures decoded when first shown: the cache keeps to its bound yet
// always holds the shown picture and the next one, and a picture gone from
// the disc leaves its thumbnail and a note in the view.
#include "browser/full_pictures.h"

#include "browser/browser_state.h"
#include "browser/image_view.h"

#include "support/browser_session.h"
#include "support/gui.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <algorithm>

namespace {

using namespace testsupport;

class FullPicturesTest : public BrowserSession {
 protected:
  void TearDown() override {
    setFullPictureCacheBound(kDefaultFullPictureCacheBytes);
    BrowserSession::TearDown();
  }
  static bool prefetched() {
    return waitUntil([] { return fullPicturePrefetchesUnderWay() == 0; });
  }
};

TEST_F(FullPicturesTest, TheCacheKeepsToItsBoundAndAlwaysHoldsTheShownAndTheNextPicture) {
  openBrowser({{"CT", "", {{"A", {{200, 100}, {210, 100}, {220, 100}, {230, 100}}}}}});
  const size_t oneRow = 230 * 4;
  for (int image = 0; image < 4; ++image) click(browser.nextImageButton);
  ASSERT_TRUE(prefetched());
  EXPECT_GE(fullPictureCacheBytes(), (200 + 210 + 220 + 230) * 100 * 3u) << "all four kept";

  setFullPictureCacheBound(1);
  click(browser.nextImageButton);
  ASSERT_TRUE(prefetched());
  EXPECT_EQ(shownSize(), std::make_pair(200, 100));
  EXPECT_GT(fullPictureCacheBytes(), 200 * 100 * 3u) << "the shown picture and the next stay";
  EXPECT_LE(fullPictureCacheBytes(), 2 * 100 * oneRow);
}

// The disc taken out while browsing: a step shows the new position's
// thumbnail under its own line and position, with a note; the disc put back,
// the full picture comes again.
TEST_F(FullPicturesTest, APictureGoneFromTheDiscShowsItsThumbnailWithANoteNeverTheOldPicture) {
  openBrowser({{"CT", "", {{"A", {{200, 100}, {210, 100}, {220, 100}}}}}, {"MR", "", {{"B", {{230, 90}}}}}});
  sendKey(browser.browserWindow, GDK_Right);
  ASSERT_TRUE(prefetched());
  const std::string line = gtk_label_get_text(GTK_LABEL(browser.infoLabel));
  boost::filesystem::rename(medium_.path("REFIMG"), medium_.path("away"));
  forgetFullPictures();
  testing::internal::CaptureStdout();
  for (auto [key, position, size, text] :
       {std::tuple{GDK_Right, "Obraz 2 z 3 · 100%", std::pair{210, 100}, line},
        std::tuple{
            GDK_Page_Down, "Obraz 1 z 1 · 100%", std::pair{230, 90},
            line.substr(0, line.find(", MOD")) + ", MODALNOŚĆ: MR, OPIS BADANIA: brak, OPIS SERII: B"}}) {
    sendKey(browser.browserWindow, key);
    ASSERT_TRUE(prefetched());
    EXPECT_EQ(shownSize(), size);
    EXPECT_EQ(viewedPixels(), gtk_image_get_pixbuf(GTK_IMAGE(browser.selectedThumbnail)));
    EXPECT_EQ(gtk_label_get_text(GTK_LABEL(browser.infoLabel)), text + "\nNie można odczytać obrazu z płyty");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(browser.positionLabel)), position);
  }
  std::string traced = testing::internal::GetCapturedStdout();
  std::replace(traced.begin(), traced.end(), '\\', '/');  // Windows traces its own separator
  EXPECT_NE(traced.find("obraz niedostępny: REFIMG/ST002/SE001/IM001.png"), std::string::npos) << traced;

  boost::filesystem::rename(medium_.path("away"), medium_.path("REFIMG"));
  sendKey(browser.browserWindow, GDK_Right);
  ASSERT_TRUE(waitUntil([] { return gdk_pixbuf_get_width(viewedPixels()) == 230; }));
  EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(browser.infoLabel))).find("Nie można"),
            std::string::npos);
}

}  // namespace
