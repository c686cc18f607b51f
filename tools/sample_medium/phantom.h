// Procedural anatomical phantoms: a head, a knee and a chest built from
// ellipsoids, cut into slices (CT, MR) or projected (radiographs).
#pragma once

#include "examination_plan.h"

#include <cstdint>
#include <vector>

namespace samplemedium {

// Stored pixel values of one picture, row by row from the top left; 12 bits
// used (CT: Hounsfield units + 1024).
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint16_t> values;
};

// Picture `index` of `count` of a series: the slices step through the body
// so that playing the series moves through it; radiographs follow a breath.
Picture drawPicture(Anatomy anatomy, View view, int width, int height, int index, int count);

// Grey levels 0-255 of the stored values seen through a window.
std::vector<uint8_t> applyWindow(const Picture &picture, double center, double width);

}  // namespace samplemedium
