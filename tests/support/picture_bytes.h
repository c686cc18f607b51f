// Picture files made in memory for tests: sound JPEG and PNG pictures, and
// hostile ones (a vector picture in disguise, endless scans, huge headers).
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// A JPEG of some detail, baseline or progressive.
std::string jpegBytes(int width, int height, bool progressive);
// An RGB PNG of some detail.
std::string pngBytes(int width, int height);
// About 600 bytes of SVG, as a disc might carry it under a .jpg name.
std::string svgBytes();
// A progressive JPEG of the given size whose first scan is followed by
// `scans` - 1 more scans without data.
std::string jpegOfEmptyScans(int width, int height, int scans);
// A small JPEG whose frame header declares width x height.
std::string jpegDeclaring(uint16_t width, uint16_t height);
// A PNG whose header declares width x height pixels of 8-bit RGBA, with an
// empty first data chunk and nothing else.
std::string pngDeclaring(uint32_t width, uint32_t height);

}  // namespace testsupport
