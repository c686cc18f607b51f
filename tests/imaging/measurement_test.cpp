// Measurements against a generated CT frame whose every value and spacing is
// known: stored value column + 10 × row, rescaled by 2 and -1000 to HU.
#include "imaging/measurement.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Spacing = std::optional<std::array<double, 2>>;

DecodedFrame knownFrame(Spacing pixelSpacing, Spacing imagerPixelSpacing) {
  DecodedFrame frame;
  frame.width = 10;
  frame.height = 8;
  for (int row = 0; row < frame.height; ++row)
    for (int column = 0; column < frame.width; ++column) frame.levels.push_back(column + 10 * row);
  frame.minStored = 0;
  frame.maxStored = 79;
  frame.attributes.modality = "CT";
  frame.attributes.hasRescale = true;
  frame.attributes.slope = 2;
  frame.attributes.intercept = -1000;
  frame.attributes.pixelSpacing = pixelSpacing;
  frame.attributes.imagerPixelSpacing = imagerPixelSpacing;
  return frame;
}

}  // namespace

TEST(Measurement, NumbersMatchTheRawValuesAndSpacing) {
  using A = std::array<double, 2>;
  const Spacing fine = A{0.5, 0.25}, no, zero = A{0, 0.5}, negative = A{-1, -1};
  const auto line = MeasurementKind::distance, angle = MeasurementKind::angle,
             box = MeasurementKind::rectangle, oval = MeasurementKind::ellipse;
  struct Case {
    Spacing pixel, imager;
    MeasurementKind kind;
    std::vector<PicturePoint> points;
    double value;      // NAN: refused
    const char *text;  // in the panel's line
    long pixels = 0;   // 0: no region
    double mean = 0, sd = 0, minimum = 0, maximum = 0;
  };
  const Case cases[] = {
      {fine, no, line, {{0, 0}, {4, 2}}, std::sqrt(2.0), "Odległość: 1,41 mm (wg Pixel Spacing)"},
      {fine, A{9, 9}, line, {{0, 0}, {0, 4}}, 2, "2,00 mm (wg Pixel Spacing)"},
      {no, A{0.2, 0.2}, line, {{0, 0}, {3, 4}}, 1, "1,00 mm (wg Imager Pixel Spacing, w płaszczyźnie"},
      {no, no, line, {{0, 0}, {3, 4}}, 5, "5,00 px (plik nie podaje"},
      {zero, no, line, {{0, 0}, {3, 4}}, 5, "5,00 px (nieprawidłowy Pixel Spacing w pliku (0 \\ 0,5), więc"},
      {negative, no, line, {{0, 0}, {3, 4}}, 5, "5,00 px (nieprawidłowy"},
      {no, no, angle, {{4, 0}, {0, 0}, {0, 3}}, 90, "Kąt: 90,0°"},
      {fine, no, angle, {{4, 0}, {0, 0}, {4, 2}}, 45, "Kąt: 45,0°"},  // on the patient, not the screen
      {no, no, angle, {{0, 0}, {0, 0}, {1, 1}}, NAN, "zerową długość"},
      {fine, no, box, {{5, 3}, {2, 1}}, 0.75, "odch. std. 10,1 HU, min. -976 HU", 6, -964, 10.13, -976, -952},
      {fine, no, oval, {{0, 0}, {4, 4}}, 1.5, "Elipsa: 1,5 mm²", 12, -967, -1, -998, -936},
      {no, no, box, {{-5, -5}, {2, 1}}, 2, "(2 piksele, przycięty do obrazu", 2, -999, 1, -1000, -998},
      {no, no, box, {{20, 20}, {30, 30}}, NAN, "Prostokąt: leży poza obrazem"},
      {no, no, box, {{1.6, 1.6}, {1.9, 3}}, NAN, "Prostokąt: nie obejmuje środka żadnego piksela"},
      {no, no, oval, {{2, 2}, {2, 5}}, NAN, "Elipsa: nie obejmuje"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    const MeasurementResult result = measure(knownFrame(c.pixel, c.imager), {c.kind, c.points});
    EXPECT_NE(result.text.find(c.text), std::string::npos) << result.text;
    EXPECT_EQ(result.ok, !std::isnan(c.value));
    if (result.ok) {
      EXPECT_NEAR(result.value, c.value, 1e-9);
    }
    if (c.pixels == 0) continue;
    EXPECT_EQ(result.region.pixels, c.pixels);
    EXPECT_DOUBLE_EQ(result.region.mean, c.mean);
    if (c.sd >= 0) {
      EXPECT_NEAR(result.region.standardDeviation, c.sd, 0.005);
    }
    EXPECT_EQ(result.region.minimum, c.minimum);
    EXPECT_EQ(result.region.maximum, c.maximum);
  }
}
