// DICOM images for the viewer's tests: a pattern of known values in every
// pixel layout, and the same image in other transfer syntaxes through DCMTK's
// and OpenJPEG's own command-line tools.
#pragma once

#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace testsupport {

struct TestImage {
  std::string photometric = "MONOCHROME2";  // or MONOCHROME1, RGB, YBR_FULL(_422), PALETTE COLOR
  int planar = 0;                           // Planar Configuration of three samples
  int side = 64;
  int frames = 1;
  int bitsAllocated = 16;
  int bitsStored = 12;
  int highBit = -1;     // -1: bitsStored - 1
  long valueRange = 0;  // levels the values span; 0: all that bitsStored holds
  bool isSigned = false;
  bool modalityLut = false;  // a Modality LUT Sequence squaring the values (unsigned, 12 bits)
  double slope = 1, intercept = 0;
  std::string window;  // "C\\W" or empty
  std::string modality = "CT";
  std::string seriesUid = "1.2.3.4";
  int instance = 1;
  double sliceLocation = 0;
  std::string frameOfReference;  // empty: none
  // Image Position (Patient) of an axial slice at this height; NaN: none.
  double height = std::numeric_limits<double>::quiet_NaN();
  // More attributes as text: group, element, value.
  std::vector<std::tuple<unsigned, unsigned, std::string>> more;
};

// Writes `image` (explicit little endian) with a pattern over its value range.
bool writeTestImage(const std::string &path, const TestImage &image);

// Runs a command line (no shell); true when it exits with 0, else a test
// failure names it with what it wrote to standard error.
bool runCommand(const std::string &commandLine);

// `source` re-encoded as JPEG 2000 (lossless) into `target` with opj_compress,
// wrapped in DICOM by DCMTK. Grey 16-bit images only.
bool writeJpeg2000Copy(const std::string &source, const std::string &target, const std::string &scratch);

// The mean of every channel of every pixel of a picture the toolkit loads
// (PNG, PNM); -1 when it cannot be loaded.
double meanLevel(const std::string &picture);

}  // namespace testsupport

namespace testsupport {

// A DICOMDIR at `path` of one patient, study and series ("Głowa", CT) whose
// image records name `fileIds` ("DICOM\\IM1", …) in that order.
bool writeTestDicomDirectory(const std::string &path, const std::vector<std::string> &fileIds);

}  // namespace testsupport
