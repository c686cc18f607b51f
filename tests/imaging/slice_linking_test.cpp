// Which image of one series matches an image of another, by position along
// the slice normal, and why two series do not link.
#include "imaging/slice_linking.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr std::array<double, 6> kAxial{1, 0, 0, 0, 1, 0}, kSagittal{0, 1, 0, 0, 0, -1};

// Slices at `heights` along z (NaN: no position), cut as `orientation`.
SeriesGeometry series(std::vector<double> heights, std::string frame = "1.9",
                      std::array<double, 6> orientation = kAxial) {
  SeriesGeometry geometry{std::move(frame), {}};
  for (double z : heights)
    geometry.slices.push_back(std::isnan(z) ? std::nullopt
                                            : std::optional<SlicePlane>({{-100, -120, z}, orientation}));
  return geometry;
}

}  // namespace

TEST(SliceLinking, NearestSliceAlongTheNormalOrWhyNot) {
  const double none = std::nan("");
  struct Case {
    const char *name;
    SeriesGeometry from;
    long image;
    SeriesGeometry to;
    SliceLink link;
    long expected;
  };
  const Case cases[] = {
      {"thinner slices into thicker", series({0, 2.5, 5, 7.5, 10}), 3, series({0, 5, 10}), SliceLink::linked,
       1},
      {"ties go to the first", series({0, 2.5, 5}), 1, series({0, 5, 10}), SliceLink::linked, 0},
      {"the other series runs the other way", series({0, 2.5, 5}), 2, series({10, 6.5, 4, 0}),
       SliceLink::linked, 2},
      {"beyond the other series: its nearest end", series({40}), 0, series({0, 5, 10}), SliceLink::linked, 2},
      {"unplaced images of the other are passed over", series({0, 5}), 1, series({none, 4, none, 9}),
       SliceLink::linked, 1},
      {"this image has no position", series({0, none}), 1, series({0, 5}), SliceLink::noPositions, 0},
      {"the other has no positions at all", series({0, 5}), 0, series({none, none}), SliceLink::noPositions,
       0},
      {"another frame of reference", series({0, 5}), 0, series({0, 5}, "1.8"),
       SliceLink::otherFrameOfReference, 0},
      {"no frame of reference", series({0, 5}, ""), 0, series({0, 5}, ""), SliceLink::otherFrameOfReference,
       0},
      {"sagittal against axial", series({0, 5}), 0, series({0, 5}, "1.9", kSagittal), SliceLink::otherPlane,
       0},
      {"an image beyond the series", series({0, 5}), 7, series({0, 5}), SliceLink::noPositions, 0},
  };
  for (const Case &row : cases) {
    SCOPED_TRACE(row.name);
    const SliceMatch match = matchingSlice(row.from, row.image, row.to);
    EXPECT_EQ(match.link, row.link);
    if (row.link == SliceLink::linked) {
      EXPECT_EQ(match.image, row.expected);
    }
    EXPECT_EQ(sliceLinkProblem(match.link).empty(), row.link == SliceLink::linked);
  }
}
