// The generated artwork: every picture is written and loads at the size the
// windows expect, hover tiles differ from plain ones, icons show on black.
#include "artwork.h"
#include "canvas.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

using artwork::PixbufPtr;

enum Ground { Opaque, Transparent };

struct Expected {
  const char *name;
  int width;
  int height;
  Ground ground;
};

// Sizes as the windows and the report page use them: tiles side by side,
// buttons of width x 24 (pictures 2 pixels smaller), strips of 88 and 18 rows.
const Expected kPictures[] = {
    {"opis_n.jpg", 180, 150, Opaque},
    {"opis_a.jpg", 180, 150, Opaque},
    {"obr_ref_n.jpg", 180, 150, Opaque},
    {"obr_ref_a.jpg", 180, 150, Opaque},
    {"obr_diag_n.jpg", 180, 150, Opaque},
    {"obr_diag_a.jpg", 180, 150, Opaque},
    {"icon.ico", 48, 48, Transparent},
    {"poweredbyvelmora.jpg", 110, 18, Opaque},
    {"html2.png", 96, 96, Transparent},
    {"pdf2.png", 96, 96, Transparent},
    {"play.png", 28, 22, Transparent},
    {"stop.png", 28, 22, Transparent},
    {"prev.png", 28, 22, Transparent},
    {"next.png", 28, 22, Transparent},
    {"prevprev.png", 36, 22, Transparent},
    {"nextnext.png", 36, 22, Transparent},
    {"zoom_in.png", 28, 22, Transparent},
    {"zoom_out.png", 28, 22, Transparent},
    {"toggle_expand.png", 11, 11, Transparent},
    {"toggle_colapse.png", 11, 11, Transparent},
    {"get_adobe_reader.png", 158, 39, Transparent},
    {"head_bg.jpg", 16, 88, Opaque},
    {"head_.jpg", 160, 88, Opaque},
    {"head_right.jpg", 276, 88, Opaque},
    {"cien_left.jpg", 20, 10, Opaque},
    {"cien_right.jpg", 20, 10, Opaque},
    {"btm_bg.jpg", 16, 18, Opaque},
    {"corn_left_btm.jpg", 32, 18, Opaque},
    {"poweredby.jpg", 86, 18, Opaque},
};

PixbufPtr load(const std::string &path) {
  return PixbufPtr(gdk_pixbuf_new_from_file(path.c_str(), nullptr), g_object_unref);
}

const guchar *pixelAt(GdkPixbuf *pixbuf, int x, int y) {
  return gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
         x * gdk_pixbuf_get_n_channels(pixbuf);
}

// Share of pixels whose colour differs by more than a JPEG's noise.
double differingShare(GdkPixbuf *a, GdkPixbuf *b) {
  const int width = gdk_pixbuf_get_width(a), height = gdk_pixbuf_get_height(a);
  int differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const guchar *p = pixelAt(a, x, y), *q = pixelAt(b, x, y);
      if (std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 24) ++differing;
    }
  return static_cast<double>(differing) / (width * height);
}

class ArtworkTest : public testing::Test {
 protected:
  void SetUp() override {
    char *made = g_dir_make_tmp("artwork-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    root_ = made;
    g_free(made);
  }
  void TearDown() override { boost::filesystem::remove_all(root_); }
  std::string root_;
};

TEST_F(ArtworkTest, WritesEveryPictureAtItsSizeIntoANewFolder) {
  const std::string img = root_ + "/medium/img";
  std::string error;
  ASSERT_TRUE(writeArtwork(img, &error)) << error;
  for (const Expected &picture : kPictures) {
    SCOPED_TRACE(picture.name);
    PixbufPtr pixbuf = load(img + "/" + picture.name);
    ASSERT_TRUE(pixbuf);
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf.get()), picture.width);
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf.get()), picture.height);
    if (picture.ground == Transparent) {
      ASSERT_TRUE(gdk_pixbuf_get_has_alpha(pixbuf.get()));
      EXPECT_LT(pixelAt(pixbuf.get(), 0, 0)[3], 64) << "the corner shows no ground through";
    }
  }
  int files = 0;
  for (boost::filesystem::directory_iterator it(img), end; it != end; ++it) ++files;
  EXPECT_EQ(files, static_cast<int>(std::size(kPictures)));
}

TEST_F(ArtworkTest, ReplacesOlderFilesOfTheSameName) {
  const std::string img = root_ + "/img";
  boost::filesystem::create_directories(img);
  std::ofstream(img + "/play.png") << "not a picture";
  ASSERT_TRUE(writeArtwork(img, nullptr));
  PixbufPtr play = load(img + "/play.png");
  ASSERT_TRUE(play);
  EXPECT_EQ(gdk_pixbuf_get_width(play.get()), 28);
}

TEST_F(ArtworkTest, HighlightedTilesStandOutFromPlainOnes) {
  ASSERT_TRUE(writeArtwork(root_, nullptr));
  for (const char *tile : {"opis", "obr_ref", "obr_diag"}) {
    SCOPED_TRACE(tile);
    PixbufPtr plain = load(root_ + "/" + tile + "_n.jpg");
    PixbufPtr highlighted = load(root_ + "/" + tile + "_a.jpg");
    ASSERT_TRUE(plain && highlighted);
    EXPECT_GT(differingShare(plain.get(), highlighted.get()), 0.2);
    // The plain tile sits on the white window without a visible edge of its own colour.
    const guchar *corner = pixelAt(plain.get(), 0, 0);
    EXPECT_GE(corner[0] + corner[1] + corner[2], 3 * 245);
  }
}

TEST_F(ArtworkTest, PicturesOnBlackHaveBrightParts) {
  ASSERT_TRUE(writeArtwork(root_, nullptr));
  for (const char *name : {"html2.png", "pdf2.png", "toggle_expand.png", "toggle_colapse.png"}) {
    SCOPED_TRACE(name);
    PixbufPtr pixbuf = load(root_ + "/" + name);
    ASSERT_TRUE(pixbuf);
    int bright = 0;
    for (int y = 0; y < gdk_pixbuf_get_height(pixbuf.get()); ++y)
      for (int x = 0; x < gdk_pixbuf_get_width(pixbuf.get()); ++x) {
        const guchar *p = pixelAt(pixbuf.get(), x, y);
        if (p[3] > 200 && p[0] + p[1] + p[2] > 3 * 200) ++bright;
      }
    EXPECT_GE(bright, 5);
  }
}

TEST_F(ArtworkTest, ToggleShowsWhetherTheBranchIsOpen) {
  ASSERT_TRUE(writeArtwork(root_, nullptr));
  PixbufPtr expand = load(root_ + "/toggle_expand.png");
  PixbufPtr collapse = load(root_ + "/toggle_colapse.png");
  ASSERT_TRUE(expand && collapse);
  // The plus of the folded branch has the vertical bar the minus lacks.
  EXPECT_GT(pixelAt(expand.get(), 5, 3)[0], 200);
  EXPECT_LT(pixelAt(collapse.get(), 5, 3)[0], 200);
}

TEST_F(ArtworkTest, ReportsAFolderThatCannotBeMade) {
  const std::string blocker = root_ + "/file";
  std::ofstream(blocker) << "x";
  std::string error;
  EXPECT_FALSE(writeArtwork(blocker + "/img", &error));
  EXPECT_NE(error.find(blocker), std::string::npos) << error;
  EXPECT_FALSE(writeArtwork(blocker, nullptr));
}

TEST(ArtworkCanvasTest, ConvertsPremultipliedPixelsToStraightColours) {
  struct Case {
    double r, g, b, a;
    bool keepAlpha;
    int expected[4];  // alpha is not checked without an alpha channel
  };
  const Case cases[] = {
      {1, 0.5, 0, 0.5, true, {255, 128, 0, 128}},
      {0.2, 0.4, 0.6, 1, true, {51, 102, 153, 255}},
      {1, 1, 1, 0, true, {0, 0, 0, 0}},
      {0, 0, 1, 0.5, false, {127, 127, 255, 0}},
      {0.2, 0.4, 0.6, 1, false, {51, 102, 153, 0}},
      {0, 0, 0, 0, false, {255, 255, 255, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << " " << c.g << " " << c.b << " " << c.a << " " << c.keepAlpha);
    artwork::Canvas canvas(2, 1);
    cairo_set_operator(canvas.cr(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(canvas.cr(), c.r, c.g, c.b, c.a);
    cairo_paint(canvas.cr());
    PixbufPtr pixbuf = artwork::surfaceToPixbuf(canvas.surface(), c.keepAlpha);
    ASSERT_TRUE(pixbuf);
    ASSERT_EQ(gdk_pixbuf_get_n_channels(pixbuf.get()), c.keepAlpha ? 4 : 3);
    const guchar *pixel = pixelAt(pixbuf.get(), 1, 0);
    for (int channel = 0; channel < (c.keepAlpha ? 4 : 3); ++channel)
      EXPECT_NEAR(pixel[channel], c.expected[channel], 1) << "channel " << channel;
  }
}

}  // namespace
