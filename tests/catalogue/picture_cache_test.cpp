// The picture cache without widgets: the least recently used pictures go first
// once the bound is passed, the shown and the next one never; pictures asked
// for are decoded on the workers, a failure is remembered until a success.
#include "catalogue/picture_cache.h"

#include "support/gui.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>

namespace {

// A 10 x 10 RGB picture: 10 rows of 30 bytes, the last row unpadded.
PixbufPtr picture() { return PixbufPtr(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 10, 10)); }

TEST(PictureCache, KeepsWithinItsBoundLeastRecentlyUsedFirstOut) {
  const size_t one = gdk_pixbuf_get_byte_length(picture().get());
  struct Case {
    const char *what;
    PictureCache::Id shown, next, touched;
    std::vector<PictureCache::Id> kept;
  } cases[] = {
      {"the two oldest go", 0, 0, 0, {3, 4, 5}},
      {"a picture used again stays", 0, 0, 1, {1, 4, 5}},
      {"the shown and the next picture stay", 1, 2, 0, {1, 2, 5}},
  };
  for (const Case &c : cases) {
    PictureCache cache(3 * one);
    cache.setShown(c.shown);
    cache.setNext(c.next);
    for (PictureCache::Id id = 1; id <= 5; ++id) {
      cache.keep(id, picture());
      if (id == 3) cache.touch(c.touched);
    }
    std::vector<PictureCache::Id> kept;
    for (PictureCache::Id id = 1; id <= 5; ++id)
      if (cache.holds(id)) kept.push_back(id);
    EXPECT_EQ(kept, c.kept) << c.what;
    EXPECT_EQ(cache.bytes(), 3 * one) << c.what;
  }
}

TEST(PictureCache, DecodesWhatItIsAskedForOnTheWorkers) {
  testsupport::ScopedMedium medium;
  medium.writePicture("a.png", 12, 8);
  medium.writeFile("b.png", "no picture");
  PictureCache cache(1 << 20);
  cache.ask({{1, medium.path("a.png")}, {2, medium.path("b.png")}}, -1);
  EXPECT_TRUE(testsupport::waitUntil([&] {
    cache.takeDecoded();
    return cache.underWay() == 0;
  }));
  PixbufPtr decoded = cache.find(1);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(gdk_pixbuf_get_width(decoded.get()), 12);
  EXPECT_FALSE(cache.failed(1));
  EXPECT_FALSE(cache.holds(2));
  EXPECT_TRUE(cache.failed(2));
}

}  // namespace
