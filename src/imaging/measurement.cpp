// Measuring follows the stored values and the file's spacing only: what the
// window or the zoom does to the picture never changes a number.
#include "imaging/measurement.h"

#include "imaging/display_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// M_PI is not standard C++; MinGW's headers leave it out.
constexpr double kPi = 3.14159265358979323846;

std::string decimal(double value, int digits) {
  // No "-0,0" for a value that rounds to nothing.
  if (std::fabs(value) < 0.5 * std::pow(10.0, -digits)) value = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  std::string result = text;
  std::replace(result.begin(), result.end(), '.', ',');
  return result;
}

std::string shortNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  std::string result = text;
  std::replace(result.begin(), result.end(), '.', ',');
  return result;
}

std::string pixelsText(long count) {
  const long tens = count % 100, ones = count % 10;
  const char *word = count == 1                                            ? " piksel"
                     : ones >= 2 && ones <= 4 && (tens < 10 || tens >= 20) ? " piksele"
                                                                           : " pikseli";
  return std::to_string(count) + word;
}

bool usable(const std::optional<std::array<double, 2>> &spacing) {
  return spacing && std::isfinite((*spacing)[0]) && std::isfinite((*spacing)[1]) && (*spacing)[0] > 0 &&
         (*spacing)[1] > 0;
}

std::string spacingText(const std::array<double, 2> &spacing) {
  return shortNumber(spacing[0]) + " \\ " + shortNumber(spacing[1]);
}

std::string unitOf(const DecodedFrame &frame) { return frame.attributes.modality == "CT" ? " HU" : ""; }

MeasurementResult refused(const char *name, const std::string &why) {
  MeasurementResult result;
  result.text = std::string(name) + ": " + why;
  return result;
}

MeasurementResult measureDistance(const PixelScale &scale, const Measurement &m) {
  const double dx = (m.points[1].x - m.points[0].x) * scale.columnSpacing,
               dy = (m.points[1].y - m.points[0].y) * scale.rowSpacing;
  MeasurementResult result;
  result.ok = true;
  result.value = std::hypot(dx, dy);
  result.text = "Odległość: " + decimal(result.value, 2) + (scale.millimetres ? " mm" : " px") + " (" +
                scale.source + ")";
  return result;
}

MeasurementResult measureAngle(const PixelScale &scale, const Measurement &m) {
  // The angle between lines on the patient, so pixels that are not square
  // are stretched to millimetres first.
  const double ax = (m.points[0].x - m.points[1].x) * scale.columnSpacing,
               ay = (m.points[0].y - m.points[1].y) * scale.rowSpacing,
               bx = (m.points[2].x - m.points[1].x) * scale.columnSpacing,
               by = (m.points[2].y - m.points[1].y) * scale.rowSpacing;
  if (std::hypot(ax, ay) == 0 || std::hypot(bx, by) == 0)
    return refused("Kąt", "nieokreślony, jedno z ramion ma zerową długość.");
  MeasurementResult result;
  result.ok = true;
  result.value = std::atan2(std::fabs(ax * by - ay * bx), ax * bx + ay * by) * 180 / kPi;
  result.text = "Kąt: " + decimal(result.value, 1) + "°";
  return result;
}

MeasurementResult measureRegion(const DecodedFrame &frame, const PixelScale &scale, const Measurement &m) {
  const char *name = measurementName(m.kind);
  const double left = std::min(m.points[0].x, m.points[1].x), right = std::max(m.points[0].x, m.points[1].x),
               top = std::min(m.points[0].y, m.points[1].y), bottom = std::max(m.points[0].y, m.points[1].y);
  if (right <= 0 || bottom <= 0 || left >= frame.width || top >= frame.height)
    return refused(name, "leży poza obrazem, nie ma czego zmierzyć.");
  const bool clipped = left < 0 || top < 0 || right > frame.width || bottom > frame.height;
  const double centreX = (left + right) / 2, centreY = (top + bottom) / 2;
  const double halfWidth = (right - left) / 2, halfHeight = (bottom - top) / 2;
  // The pixels whose centres the shape holds, within the picture.
  const long firstColumn = std::max(0L, static_cast<long>(std::ceil(left - 0.5))),
             lastColumn = std::min<long>(frame.width - 1, static_cast<long>(std::floor(right - 0.5))),
             firstRow = std::max(0L, static_cast<long>(std::ceil(top - 0.5))),
             lastRow = std::min<long>(frame.height - 1, static_cast<long>(std::floor(bottom - 0.5)));
  RegionStatistics stats;
  double sum = 0, sumOfSquares = 0;
  stats.minimum = INFINITY;
  stats.maximum = -INFINITY;
  for (long row = firstRow; row <= lastRow; ++row)
    for (long column = firstColumn; column <= lastColumn; ++column) {
      if (m.kind == MeasurementKind::ellipse) {
        if (halfWidth <= 0 || halfHeight <= 0) continue;
        const double u = (column + 0.5 - centreX) / halfWidth, v = (row + 0.5 - centreY) / halfHeight;
        if (u * u + v * v > 1) continue;
      }
      ++stats.pixels;
      if (frame.colour) continue;
      const double value = modalityValue(
          frame.attributes, static_cast<double>(frame.storedAt(row * size_t(frame.width) + column)));
      sum += value;
      sumOfSquares += value * value;
      stats.minimum = std::min(stats.minimum, value);
      stats.maximum = std::max(stats.maximum, value);
    }
  if (stats.pixels == 0) return refused(name, "nie obejmuje środka żadnego piksela, nie ma czego zmierzyć.");
  stats.area = stats.pixels * scale.rowSpacing * scale.columnSpacing;
  MeasurementResult result;
  result.ok = true;
  result.value = stats.area;
  result.text = std::string(name) + ": " + decimal(stats.area, 1) + (scale.millimetres ? " mm²" : " px²");
  if (frame.colour) {
    stats.minimum = stats.maximum = 0;
    result.text += ", obraz barwny bez wartości w jednostkach modalności";
  } else {
    const double n = static_cast<double>(stats.pixels);
    stats.mean = sum / n;
    // The region is all there is of it: the deviation of its pixels, not an
    // estimate of a larger population's.
    stats.standardDeviation = std::sqrt(std::max(0.0, sumOfSquares / n - stats.mean * stats.mean));
    const std::string unit = unitOf(frame);
    result.text += ", średnia " + decimal(stats.mean, 1) + unit + ", odch. std. " +
                   decimal(stats.standardDeviation, 1) + unit + ", min. " + shortNumber(stats.minimum) +
                   unit + ", maks. " + shortNumber(stats.maximum) + unit;
  }
  result.text +=
      " (" + pixelsText(stats.pixels) + (clipped ? ", przycięty do obrazu" : "") + "; " + scale.source + ")";
  result.region = stats;
  return result;
}

}  // namespace

PixelScale pixelScaleOf(const ImageAttributes &attributes) {
  PixelScale scale;
  scale.rowSpacing = scale.columnSpacing = 1;
  if (usable(attributes.pixelSpacing)) {
    scale.rowSpacing = (*attributes.pixelSpacing)[0];
    scale.columnSpacing = (*attributes.pixelSpacing)[1];
    scale.millimetres = true;
    scale.source = "wg Pixel Spacing";
  } else if (attributes.pixelSpacing) {
    scale.source = "nieprawidłowy Pixel Spacing w pliku (" + spacingText(*attributes.pixelSpacing) +
                   "), więc w pikselach";
  } else if (usable(attributes.imagerPixelSpacing)) {
    scale.rowSpacing = (*attributes.imagerPixelSpacing)[0];
    scale.columnSpacing = (*attributes.imagerPixelSpacing)[1];
    scale.millimetres = true;
    scale.source = "wg Imager Pixel Spacing, w płaszczyźnie detektora";
  } else if (attributes.imagerPixelSpacing) {
    scale.source = "nieprawidłowy Imager Pixel Spacing w pliku (" +
                   spacingText(*attributes.imagerPixelSpacing) + "), więc w pikselach";
  } else {
    scale.source = "plik nie podaje rozmiaru piksela, więc w pikselach";
  }
  return scale;
}

MeasurementResult measure(const DecodedFrame &frame, const Measurement &measurement) {
  const char *name = measurementName(measurement.kind);
  if (measurement.points.size() != pointsNeeded(measurement.kind)) return refused(name, "za mało punktów.");
  if (!frame.ok() || frame.width <= 0 || frame.height <= 0) return refused(name, "obraz nie jest pokazany.");
  for (const PicturePoint &point : measurement.points)
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return refused(name, "punkt poza zakresem.");
  const PixelScale scale = pixelScaleOf(frame.attributes);
  switch (measurement.kind) {
    case MeasurementKind::distance:
      return measureDistance(scale, measurement);
    case MeasurementKind::angle:
      return measureAngle(scale, measurement);
    default:
      return measureRegion(frame, scale, measurement);
  }
}

const char *measurementName(MeasurementKind kind) {
  switch (kind) {
    case MeasurementKind::distance:
      return "Odległość";
    case MeasurementKind::angle:
      return "Kąt";
    case MeasurementKind::rectangle:
      return "Prostokąt";
    default:
      return "Elipsa";
  }
}

size_t pointsNeeded(MeasurementKind kind) { return kind == MeasurementKind::angle ? 3 : 2; }
