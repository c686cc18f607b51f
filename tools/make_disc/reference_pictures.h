// Reference pictures: every frame of a DICOM image rendered with DCMTK's image
// module (windowed as the file asks) and written as a JPEG picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace makedisc {

// 8-bit pixels, grey (1 channel) or RGB (3), row after row without padding.
struct Raster {
  int width = 0;
  int height = 0;
  int channels = 1;
  std::vector<uint8_t> pixels;
};

constexpr long long kScaledByTheToolkit = 16LL * 1024 * 1024;

struct PictureSettings {
  int maxSide = 1024;  // longer side of a picture at most, aspect kept
  int quality = 90;
  // Frames rendered at once; a larger image is rendered in parts of this many
  // frames so that a long cine loop never has to fit in memory whole.
  long framesAtOnce = 0;  // 0: as many as fit in 256 MB
};

// Renders every frame of `source` into `folder`/IMnnnnnn.jpg, numbered from
// `firstNumber`. Monochrome images take the file's first VOI window, else its
// first VOI LUT, else the window of their smallest and largest values (of the
// first part of a long image); MONOCHROME1 shows inverted; colour stays colour.
// A frame of more than kScaledByTheToolkit pixels is scaled down by DCMTK
// before its 8-bit output is made, so that no full-size copy of it is held.
// Returns the number of pictures written; on failure `error` says why (a file
// DCMTK cannot decode writes none). May run on any thread.
int renderReferencePictures(const std::string &source, long frames, const std::string &folder,
                            int firstNumber, const PictureSettings &settings, std::string *error);

// `raster` scaled down by area averaging to at most `maxSide` pixels on its
// longer side, `heightRatio` being the height of a pixel over its width.
Raster fitRaster(const Raster &raster, double heightRatio, int maxSide);

// What a file says of its frames, read before anything is decoded.
struct DeclaredPixels {
  long rows = 0;
  long columns = 0;
  long samplesPerPixel = 1;
  long bitsAllocated = 0;
  long frames = 1;
  unsigned long storedLength = 0;  // the pixel data's length as stored
  bool encapsulated = false;       // compressed: its length says nothing of the frames
};

// Why the frames must not be rendered (empty when they may): a frame beyond
// the navigator's picture limits (a side of 16384 pixels, 64 megapixels), or
// uncompressed pixel data shorter than the frames declare. A header can
// declare any size, and the toolkit would set out to allocate it. `shown`,
// when given, receives the reason as the placeholder picture tells it.
std::string pixelRefusal(const DeclaredPixels &pixels, std::string *shown = nullptr);

// Writes `raster` as a JPEG picture.
bool writeJpeg(const std::string &path, const Raster &raster, int quality, std::string *error);

}  // namespace makedisc
