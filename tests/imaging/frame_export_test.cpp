// The headless export renders every transfer syntax and pixel layout as
// DCMTK's own dcmj2pnm does at the same window.
#include "support/scratch_folder.h"
#include "support/viewer_images.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testsupport;

namespace {

struct ExportCase {
  const char *name;
  TestImage image;
  const char *encode;  // command line turning IN into OUT; "j2k" for JPEG 2000
  const char *window;  // "C,W" or "" for the file's own
  int frame;
};

TestImage ct() {
  TestImage image;
  image.isSigned = true;
  image.intercept = -1024;
  image.window = "40\\400";
  return image;
}
TestImage with(TestImage image, const char *photometric, int bits) {
  image.photometric = photometric;
  image.bitsAllocated = bits;
  image.bitsStored = bits;
  image.isSigned = false;
  return image;
}
TestImage unsignedValues(TestImage image) {
  image.isSigned = false;
  return image;
}
TestImage planar(TestImage image) {
  image.planar = 1;
  return image;
}
TestImage frames(TestImage image, int count) {
  image.frames = count;
  return image;
}
TestImage deep(TestImage image, int allocated, int stored, int highBit, long valueRange) {
  image.bitsAllocated = allocated, image.bitsStored = stored, image.highBit = highBit;
  image.valueRange = valueRange;
  return image;
}
TestImage modalityLut() {
  TestImage image;
  image.modalityLut = true;
  return image;
}

const ExportCase kCases[] = {
    {"explicit little endian", ct(), "", "40,400", 1},
    {"implicit little endian", ct(), "dcmconv +ti IN OUT", "40,400", 1},
    {"explicit big endian", ct(), "dcmconv +tb IN OUT", "-200,1000", 1},
    {"deflated", ct(), "dcmconv +td IN OUT", "40,400", 1},
    {"RLE", ct(), "dcmcrle IN OUT", "40,400", 1},
    {"JPEG lossless", ct(), "dcmcjpeg +e1 IN OUT", "40,400", 1},
    {"JPEG lossless any predictor", ct(), "dcmcjpeg +el IN OUT", "0,3000", 1},
    {"JPEG extended 12 bits", with(ct(), "MONOCHROME2", 16), "dcmcjpeg +ee IN OUT", "2000,4000", 1},
    {"JPEG baseline 8 bits", with(ct(), "MONOCHROME2", 8), "dcmcjpeg +eb IN OUT", "128,256", 1},
    {"JPEG-LS lossless", ct(), "dcmcjpls +el IN OUT", "40,400", 1},
    {"JPEG-LS near lossless", unsignedValues(ct()), "dcmcjpls +en IN OUT", "40,400", 1},
    {"JPEG 2000", ct(), "j2k", "40,400", 1},
    {"window from the file", ct(), "", "", 1},
    {"MONOCHROME1", with(ct(), "MONOCHROME1", 8), "", "100,200", 1},
    {"RGB", with(ct(), "RGB", 8), "", "", 1},
    {"RGB as JPEG (YBR)", with(ct(), "RGB", 8), "dcmcjpeg +eb IN OUT", "", 1},
    {"RGB as RLE", with(ct(), "RGB", 8), "dcmcrle IN OUT", "", 1},
    {"palette colour", with(ct(), "PALETTE COLOR", 8), "", "", 1},
    {"RGB, planar", planar(with(ct(), "RGB", 8)), "", "", 1},
    {"YBR_FULL", with(ct(), "YBR_FULL", 8), "", "", 1},
    {"YBR_FULL, planar", planar(with(ct(), "YBR_FULL", 8)), "", "", 1},
    {"YBR_FULL_422", with(ct(), "YBR_FULL_422", 8), "", "", 1},
    {"multi-frame RGB cine, fourth frame", frames(with(ct(), "RGB", 8), 6), "", "", 4},
    {"multi-frame, third frame", frames(ct(), 5), "", "40,400", 3},
    {"values in the high bits", deep(ct(), 16, 12, 15, 0), "", "40,400", 1},
    {"values in the high bits, big endian", deep(ct(), 16, 12, 13, 0), "dcmconv +tb IN OUT", "40,400", 1},
    {"32 bits stored", deep(ct(), 32, 32, 31, 6000), "", "40,400", 1},
    {"Modality LUT Sequence", modalityLut(), "", "20000,40000", 1},
    {"Modality LUT Sequence as JPEG lossless", modalityLut(), "dcmcjpeg +e1 IN OUT", "30000,20000", 1},
    {"multi-frame JPEG-LS, last frame", frames(ct(), 4), "dcmcjpls +el IN OUT", "40,400", 4},
};

}  // namespace

TEST(FrameExport, MeanLevelMatchesDcmtkAtTheSameWindow) {
  ScratchFolder scratch;
  for (const ExportCase &row : kCases) {
    SCOPED_TRACE(row.name);
    const std::string source = scratch.path("source.dcm"), encoded = scratch.path("encoded.dcm");
    ASSERT_TRUE(writeTestImage(source, row.image));
    std::string shown = source;
    if (std::string(row.encode) == "j2k") {
      ASSERT_TRUE(writeJpeg2000Copy(source, encoded, scratch.root()));
      shown = encoded;
    } else if (*row.encode != '\0') {
      std::string command = row.encode;
      command.replace(command.find("IN"), 2, source);
      command.replace(command.find("OUT"), 3, encoded);
      ASSERT_TRUE(runCommand(command));
      shown = encoded;
    }
    const std::string frame = std::to_string(row.frame);
    std::string ours =
        std::string(VELMORA_VIEWER) + " --export-png " + scratch.path("ours.png") + " --frame " + frame;
    // JPEG 2000 is compared with the same image stored without compression.
    // DCMTK renders JPEG-LS with its dcml2pnm, the rest with dcmj2pnm.
    std::string theirs = std::string(std::strstr(row.encode, "dcmcjpls") ? "dcml2pnm" : "dcmj2pnm") + " +F " +
                         frame + " " + (shown == encoded && *row.encode == 'j' ? source : shown);
    if (*row.window != '\0') {
      ours += std::string(" --window ") + row.window;
      std::string window = row.window;
      theirs += " +Ww " + window.replace(window.find(','), 1, " ");
    } else if (!row.image.window.empty() && row.image.photometric.rfind("MONO", 0) == 0) {
      theirs += " +Wi 1";
    }
    ASSERT_TRUE(runCommand(ours + " " + shown));
    ASSERT_TRUE(runCommand(theirs + " " + scratch.path("theirs.pnm")));
    const double ourMean = meanLevel(scratch.path("ours.png")),
                 theirMean = meanLevel(scratch.path("theirs.pnm"));
    ASSERT_GE(theirMean, 0);
    EXPECT_NEAR(ourMean, theirMean, 1.0);
  }
}
