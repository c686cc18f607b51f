// The catalogue's shape as the step rules see it, taken from the thumbnails.
#include "browser/current_position.h"

#include <gtest/gtest.h>

namespace {

// Study 0: series of 3 and 2 images; study 1: one series of 4.
const CatalogueShape kShape = {{3, 2}, {4}};

TEST(CurrentPosition, CatalogueShapeCountsEverySeries) {
  GtkWidget *const a = reinterpret_cast<GtkWidget *>(0x10);
  ThumbnailMap index;
  index[0][0] = {a, a, a};
  index[0][1] = {a};
  index[1];  // a study without series
  index[2][0] = {};
  index[2][1] = {a, a};
  EXPECT_EQ(catalogueShape(index), (CatalogueShape{{3, 1}, {}, {0, 2}}));
  EXPECT_EQ(seriesLength(kShape, 0, 1), 2);
  for (auto [study, series] : {std::pair{-1, 0}, {0, -1}, {0, 2}, {3, 0}, {1, 1}})
    EXPECT_EQ(seriesLength(kShape, study, series), 0) << study << ", " << series;
}

}  // namespace
