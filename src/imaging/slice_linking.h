// Linked scrolling: which image of one series lies where an image of another
// does. Two series are linked only when they share a frame of reference, know
// where each of their images lies and cut the body in near-parallel planes;
// then the nearest image along the slice normal matches.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

struct SlicePlane {
  std::array<double, 3> position;     // Image Position (Patient)
  std::array<double, 6> orientation;  // Image Orientation (Patient)
};

// Where the images of one series lie, in list order; an image whose file
// gives no position, or one frame of a file of many, has none.
struct SeriesGeometry {
  std::string frameOfReference;
  std::vector<std::optional<SlicePlane>> slices;
};

enum class SliceLink { linked, noPositions, otherFrameOfReference, otherPlane };

struct SliceMatch {
  SliceLink link = SliceLink::noPositions;
  long image = 0;  // of `to`, when linked
};

// The image of `to` nearest to image `image` of `from`, measured along the
// normal of that image's plane.
SliceMatch matchingSlice(const SeriesGeometry &from, long image, const SeriesGeometry &to);

struct ExaminationSeries;
// Reads the header of every file of `series` (bounded, no pixels), learning
// the frame counts of its files on the way.
SeriesGeometry readSeriesGeometry(ExaminationSeries &series);

// Why two series are not linked, in Polish, for the status line.
std::string sliceLinkProblem(SliceLink link);
