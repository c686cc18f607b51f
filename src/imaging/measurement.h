// Measurements on a decoded frame: a distance, an angle of three points, and
// the statistics of a rectangle or an ellipse, in millimetres from the file's
// pixel spacing and in modality units from the raw stored values. No widget.
#pragma once

#include "imaging/dicom_image_file.h"

#include <string>
#include <vector>

enum class MeasurementKind { distance, angle, rectangle, ellipse };

// A point in picture coordinates: (0, 0) is the top left corner of the first
// pixel, (columns, rows) the bottom right corner of the last.
struct PicturePoint {
  double x = 0;
  double y = 0;
};

// What the user drew: two ends of a distance, three points of an angle (the
// vertex second), two opposite corners of a region's bounding box.
struct Measurement {
  MeasurementKind kind = MeasurementKind::distance;
  std::vector<PicturePoint> points;
};

// The millimetres of one pixel, and where they came from.
struct PixelScale {
  double rowSpacing = 0;     // between the centres of two rows, vertically
  double columnSpacing = 0;  // between the centres of two columns, horizontally
  bool millimetres = false;  // false: lengths in pixels
  std::string source;        // Polish, said beside every length
};

// Pixel Spacing, else Imager Pixel Spacing (said to be at the detector), else
// pixels; a zero or negative spacing is said and pixels are used.
PixelScale pixelScaleOf(const ImageAttributes &attributes);

struct RegionStatistics {
  long pixels = 0;
  double area = 0;  // mm² or px²
  double mean = 0, standardDeviation = 0, minimum = 0, maximum = 0;
};

struct MeasurementResult {
  bool ok = false;   // false: `text` says why there is no number
  double value = 0;  // the distance, the angle in degrees, or the region's area
  RegionStatistics region;
  std::string text;  // the panel's line, Polish
};

// Measures on `frame`; regions are clipped to the picture and their pixels
// are those whose centres lie inside the shape.
MeasurementResult measure(const DecodedFrame &frame, const Measurement &measurement);

// "Odległość", "Kąt", "Prostokąt", "Elipsa".
const char *measurementName(MeasurementKind kind);
// How many points the user gives for `kind`.
size_t pointsNeeded(MeasurementKind kind);
