// JPEG pictures of the sample medium: reference pictures and report pictures
// made from windowed grey levels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace samplemedium {

// Saves grey levels (row by row) as a JPEG picture, scaled to
// `outWidth` x `outHeight` when those differ from the source size.
bool saveGreyJpeg(const std::string &path, const std::vector<uint8_t> &grey, int width, int height,
                  int outWidth, int outHeight, std::string *error);

}  // namespace samplemedium
