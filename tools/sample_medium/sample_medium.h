// The sample medium generator: a complete disc folder with one synthetic
// patient's examinations, reference pictures, reports and the viewer side.
#pragma once

#include <string>
#include <vector>

namespace samplemedium {

// What to generate. The defaults give the ordinary sample disc: three studies
// (head CT, knee MR, chest radiograph) of two to four series of 8 to 40
// pictures each. The counts scale it up for benchmarks.
struct SampleMediumOptions {
  int studies = 3;          // studies cycle through head CT, knee MR and chest radiograph
  int seriesPerStudy = 0;   // 0: each study's own number of series
  int imagesPerSeries = 0;  // 0: each series' own number of pictures
  int pictureSize = 512;    // width of the pictures; most are square
  int threads = 0;          // 0: one per processor
  // The navigator copied to gtk/bin; empty: none is copied.
  std::string navigatorProgram = defaultNavigatorProgram();
  // Folder holding dicomviewer-standin and dotnetfx-standin; empty: none copied.
  std::string toolDirectory = ownProgramDirectory();
  // Our diagnostic viewer, bundled into gtk/bin with the navigator's runtime
  // and named by viewer.ini, on a medium without the stand-ins; empty: none.
  std::string viewerProgram = defaultViewerProgram();
  bool artwork = true;  // the navigator's pictures in img/
  // The Windows program as well: the files the Windows build staged for the
  // medium (gtk/bin with the program and its libraries, Program/ with the
  // Windows stand-ins) are copied over, and autorun.inf starts the program.
  bool windows = false;
  std::string windowsFiles = defaultWindowsFiles();

  static std::string defaultNavigatorProgram();
  static std::string defaultViewerProgram();
  static std::string defaultWindowsFiles();
  static std::string ownProgramDirectory();
};

// What was generated. Warnings name the parts that were skipped (a program
// that was not found, artwork that is not built in).
struct SampleMediumSummary {
  int studies = 0;
  int series = 0;
  int images = 0;
  double seconds = 0;
  std::vector<std::string> warnings;
};

// Generates the medium into `root`, which must be missing or empty. Everything
// is written into a fresh sibling folder first and renamed to `root` at the
// end, so an interrupted run never leaves a half-made medium behind. Files
// are left read-only, as on a burnt disc. On failure returns false with a
// message in `error` and leaves `root` as it was.
bool generateSampleMedium(const std::string &root, const SampleMediumOptions &options,
                          SampleMediumSummary *summary, std::string *error);

}  // namespace samplemedium
