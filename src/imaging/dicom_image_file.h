// One DICOM image file of an examination: its attributes, read with bounds on
// what a damaged or hostile file may cost, and its frames decoded into stored
// values (grey) or RGB (colour). No widget: any thread may read and decode.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A lookup table of the file (its Modality LUT or first VOI LUT):
// output = data[value - firstMapped], the index clamped to the table.
struct LookupTable {
  int32_t firstMapped = 0;
  int bits = 8;
  std::vector<uint16_t> data;
  uint16_t operator()(double value) const;
};

struct ImageAttributes {
  std::string sopInstanceUid, seriesUid, studyUid, frameOfReferenceUid;
  // Texts of the overlay and the list, in UTF-8.
  std::string patientName, patientId, birthDate, studyDate, studyDescription, seriesDescription, institution,
      modality;
  int seriesNumber = 0;
  int instanceNumber = 0;
  int rows = 0;
  int columns = 0;
  long frames = 1;
  int samplesPerPixel = 1;
  int bitsAllocated = 0;
  int bitsStored = 0;
  int highBit = 0;
  bool isSigned = false;
  std::string photometric;
  double slope = 1.0;
  double intercept = 0.0;
  bool hasRescale = false;
  // The Modality LUT, which replaces the rescale when the file has one.
  std::optional<LookupTable> modalityLut;
  // Window Center/Width pairs, in modality units.
  std::vector<std::array<double, 2>> windows;
  std::optional<LookupTable> voiLut;
  std::optional<double> sliceLocation, sliceThickness;
  std::optional<std::array<double, 6>> orientation;  // row then column direction cosines
  std::optional<std::array<double, 3>> position;
  // The rate a cine of the file's frames is meant to play at: from Frame
  // Time, else Frame Time Vector, else Recommended Display Frame Rate, else
  // Cine Rate.
  std::optional<double> framesPerSecond;
  // Row spacing then column spacing, in mm, as the file gives them.
  std::optional<std::array<double, 2>> pixelSpacing, imagerPixelSpacing;
  bool monochrome() const { return photometric == "MONOCHROME1" || photometric == "MONOCHROME2"; }
  // Grey values with no rescale or Modality LUT: stored values, no units.
  bool withoutModalityUnits() const { return monochrome() && !hasRescale && !modalityLut; }
};

// The largest frame decoded: sides up to 16384 and 64 megapixels, the frames of
// one file up to this many. Up to 32 bits stored, as long as one frame's values
// span at most 65,536 levels.
constexpr long kMostFramesPerFile = 100000;

// Reads the attributes of `path` (UTF-8). False with `problem` set to a Polish
// line when the file is no DICOM image this viewer can show, or passes a
// limit; nothing of it is decoded yet.
bool readImageAttributes(const std::string &path, ImageAttributes &attributes, std::string &problem);

// A grey frame keeps each stored value as its distance from the frame's
// smallest: two bytes a pixel whatever the file's depth, and the index of the
// output lookup as it is, so a redraw is one table read a pixel.
struct DecodedFrame {
  int width = 0;
  int height = 0;
  bool colour = false;
  std::vector<uint16_t> levels;  // grey: stored value - minStored, row after row
  std::vector<uint8_t> rgb;      // colour: 3 bytes a pixel
  int64_t minStored = 0;
  int64_t maxStored = 0;
  ImageAttributes attributes;
  std::string problem;  // a Polish line when the frame could not be decoded
  bool ok() const { return problem.empty(); }
  int64_t storedAt(size_t pixel) const { return minStored + levels[pixel]; }
  size_t bytes() const { return levels.size() * sizeof(uint16_t) + rgb.size() + sizeof(DecodedFrame); }
};

// Decodes frame `frame` (from 0) of `path`. Decoders (DicomImageDecoders) must
// be registered. On failure the result carries `problem` and no pixels.
DecodedFrame decodeImageFrame(const std::string &path, long frame);
