// Full pictures decoded when first shown: the cache keeps to its bound yet
// always holds the shown picture and the next one, and a picture gone from
// the disc leaves the view as it was.
#include "browser/full_pictures.h"

#include "browser/browser_state.h"

#include "support/browser_session.h"
#include "support/gui.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

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

TEST_F(FullPicturesTest, TheCacheKeepsToItsBoundAndAPictureGoneFromTheDiscLeavesTheView) {
  openBrowser({{"CT", "", {{"A", {{200, 100}, {210, 100}, {220, 100}, {230, 100}}}}}});
  const size_t oneRow = 230 * 4;
  for (int image = 0; image < 4; ++image) click(nextImageButton);
  ASSERT_TRUE(prefetched());
  EXPECT_GE(fullPictureCacheBytes(), (200 + 210 + 220 + 230) * 100 * 3u) << "all four kept";

  setFullPictureCacheBound(1);
  click(nextImageButton);
  ASSERT_TRUE(prefetched());
  EXPECT_EQ(shownSize(), std::make_pair(200, 100));
  EXPECT_GT(fullPictureCacheBytes(), 200 * 100 * 3u) << "the shown picture and the next stay";
  EXPECT_LE(fullPictureCacheBytes(), 2 * 100 * oneRow);

  boost::filesystem::rename(medium_.path("REFIMG"), medium_.path("away"));
  forgetFullPictures();
  testing::internal::CaptureStdout();
  click(nextImageButton);
  std::string traced = testing::internal::GetCapturedStdout();
  EXPECT_EQ(currentImage, 1);
  EXPECT_EQ(shownSize(), std::make_pair(200, 100)) << "the view stays as it was";
  EXPECT_NE(traced.find("obraz niedostępny: REFIMG/ST001/SE001/IM002.png"), std::string::npos) << traced;
  boost::filesystem::rename(medium_.path("away"), medium_.path("REFIMG"));
}

}  // namespace
