// The picture decoder: the same pixels as the toolkit's loader at full size,
// thumbnails from reduced-size decoding within rounding of today's, and
// hostile pictures refused quickly.
#include "catalogue/picture_decoder.h"

#include "support/picture_bytes.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {

using namespace testsupport;

// Largest and mean difference of two pictures' samples (of equal layout).
std::pair<int, double> difference(GdkPixbuf *a, GdkPixbuf *b) {
  int width = gdk_pixbuf_get_width(a), height = gdk_pixbuf_get_height(a);
  int channels = gdk_pixbuf_get_n_channels(a);
  EXPECT_EQ(width, gdk_pixbuf_get_width(b));
  EXPECT_EQ(height, gdk_pixbuf_get_height(b));
  EXPECT_EQ(channels, gdk_pixbuf_get_n_channels(b));
  int largest = 0;
  double sum = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * channels; ++x) {
      int d = std::abs(gdk_pixbuf_get_pixels(a)[y * gdk_pixbuf_get_rowstride(a) + x] -
                       gdk_pixbuf_get_pixels(b)[y * gdk_pixbuf_get_rowstride(b) + x]);
      largest = std::max(largest, d);
      sum += d;
    }
  return {largest, sum / (static_cast<double>(width) * height * channels)};
}

TEST(PictureDecoder, FullPicturesAsTheToolkitLoadsThemAndThumbnailsWithinRounding) {
  ScopedMedium medium;
  struct Case {
    const char *file;
    std::string bytes;
  };
  for (const Case &c : {Case{"a.jpg", jpegBytes(512, 384, false)}, Case{"b.jpg", jpegBytes(1024, 1024, true)},
                        Case{"c.jpg", jpegBytes(300, 90, false)}, Case{"d.png", pngBytes(200, 120)}}) {
    SCOPED_TRACE(c.file);
    medium.writeFile(c.file, c.bytes);
    PixbufPtr today(gdk_pixbuf_new_from_file(c.file, nullptr));
    ASSERT_TRUE(today);
    DecodedPicture full = decodePictureFile(c.file);
    ASSERT_TRUE(full.pixels) << full.message;
    EXPECT_EQ(difference(full.pixels.get(), today.get()).first, 0);
    EXPECT_EQ(full.fullWidth, gdk_pixbuf_get_width(today.get()));

    DecodedPicture reduced = decodePictureFile(c.file, 128, 128);
    ASSERT_TRUE(reduced.pixels);
    EXPECT_GE(gdk_pixbuf_get_width(reduced.pixels.get()), std::min(128, full.fullWidth));
    EXPECT_GE(gdk_pixbuf_get_height(reduced.pixels.get()), std::min(128, full.fullHeight));
    PixbufPtr thumbnail(gdk_pixbuf_scale_simple(reduced.pixels.get(), 128, 128, GDK_INTERP_BILINEAR));
    PixbufPtr todaysThumbnail(gdk_pixbuf_scale_simple(today.get(), 128, 128, GDK_INTERP_BILINEAR));
    auto [largest, mean] = difference(thumbnail.get(), todaysThumbnail.get());
    EXPECT_LE(mean, 6.0);
    EXPECT_LE(largest, 96);
  }
}

TEST(PictureDecoder, HostilePicturesAreRefusedQuickly) {
  struct Case {
    const char *name;
    std::string bytes;
    PictureFailure failure;
  };
  const Case cases[] = {
      {"SVG named .jpg", svgBytes(), PictureFailure::notAPicture},
      {"empty", "", PictureFailure::notAPicture},
      {"GIF", std::string("GIF89a\x01\x00\x01\x00", 10), PictureFailure::unsupported},
      {"JPEG signature only", std::string("\xFF\xD8\xFF\xE0", 4), PictureFailure::damaged},
      {"progressive JPEG of 2,000 empty scans", jpegOfEmptyScans(2048, 2048, 2000),
       PictureFailure::tooManyScans},
      {"JPEG of 20000 x 20000", jpegDeclaring(20000, 20000), PictureFailure::tooLarge},
      {"PNG of 100000 x 100000", pngDeclaring(100000, 100000), PictureFailure::tooLarge},
  };
  for (const Case &c : cases) {
    auto start = std::chrono::steady_clock::now();
    DecodedPicture result = decodePicture(c.bytes);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(result.failure, c.failure) << c.name << ": " << result.message;
    EXPECT_FALSE(result.pixels) << c.name;
    EXPECT_FALSE(result.message.empty()) << c.name;
    EXPECT_LT(seconds, kLongestPictureDecode) << c.name;
  }
  // A hundred scans are still a picture.
  EXPECT_TRUE(decodePicture(jpegOfEmptyScans(64, 64, kMostJpegScans - 1)).pixels);
}

}  // namespace
