// A disc of very many tiny pictures: 100,000 pictures of 8 x 8 (or as many as
// the first argument says) in series of 100, the browser opened on them and
// then the first and the last series opened in the tree and drawn. Reports
// the peak resident size after the build and at the end, the thumbnails
// holding pixels, and whether it stayed inside 512 MiB.
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/tiny_pictures_bench [pictures]
#include "browser_run.h"

#include "app/application.h"
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/browser_window.h"
#include "browser/thumbnail_index.h"
#include "browser/thumbnail_pixels.h"
#include "catalogue/reference_catalogue.h"
#include "tree/branch_tree.h"
#include "ui/palette.h"

#include <gtk/gtk.h>
#include <boost/filesystem.hpp>

#include <unistd.h>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace fs = boost::filesystem;

namespace {

constexpr int kPicturesPerSeries = 100;
constexpr int kSeriesPerStudy = 10;
constexpr long kTargetKilobytes = 512 * 1024;

// Opens the series at (study, series) as a user does: a press on its study's
// branch, then on its own, and lets the tree be drawn.
void openSeries(int study, int series) {
  GtkWidget *studyBranch = childBranch(*browser.browserTree, nullptr, study);
  GtkWidget *seriesBranch = childBranch(*browser.browserTree, studyBranch, series);
  for (GtkWidget *branch : {studyBranch, seriesBranch}) {
    GdkEventButton press{};
    press.type = GDK_BUTTON_PRESS;
    press.button = 1;
    onBranchPressed(branchWidget(branch), &press, gtk_widget_get_parent(branchWidget(branch)));
  }
  runLoopFor(500);
}

}  // namespace

int main(int argc, char **argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  int pictures = argc > 1 ? std::atoi(argv[1]) : 100000;
  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "This benchmark needs a display: run it under xvfb-run.\n");
    return 1;
  }
  gdk_threads_enter();
  gchar *made = g_dir_make_tmp("tiny-pictures-XXXXXX", nullptr);
  std::string root = made;
  g_free(made);
  if (::chdir(root.c_str()) != 0) return 1;
  std::fprintf(stderr, "Writing %d pictures of 8 x 8...\n", pictures);
  fs::create_directories("img");
  GdkPixbuf *tiny = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 8, 8);
  gdk_pixbuf_fill(tiny, 0x3080c0ff);
  gchar *png = nullptr;
  gsize pngSize = 0;
  gdk_pixbuf_save_to_buffer(tiny, &png, &pngSize, "png", nullptr, nullptr);
  g_object_unref(tiny);
  int lastStudy = 0, lastSeries = 0;
  for (int i = 0; i < pictures; ++i) {
    int series = i / kPicturesPerSeries;
    int study = series / kSeriesPerStudy;
    char folder[64];
    std::snprintf(folder, sizeof folder, "REFIMG/ST%04d/SE%03d", study, series % kSeriesPerStudy);
    if (i % kPicturesPerSeries == 0) {
      fs::create_directories(folder);
      StudyMetadataIndex[study][series % kSeriesPerStudy] = {
          {"Kowalski^Jan", "80010112345", "CT", "20240105", "Badanie", ""}};
      lastStudy = study;
      lastSeries = series % kSeriesPerStudy;
    }
    std::ofstream(std::string(folder) + "/IM" + std::to_string(100000 + i) + ".png", std::ios::binary)
        .write(png, static_cast<std::streamsize>(pngSize));
  }
  g_free(png);

  long beforeBuild = statusKilobytes("VmRSS:");
  BrowserBuild build = buildBrowserAsTheTileDoes();
  double buildSeconds = build.seconds;
  int thumbnails = build.thumbnails;
  long afterBuild = build.peakKilobytes;

  bool shown = browser.browserWindow != nullptr;
  if (shown) {
    runLoopFor(300);
    openSeries(0, 0);
    openSeries(lastStudy, lastSeries);
    shown = thumbnailsWithPixels() > 0;
  }
  long peak = statusKilobytes("VmHWM:");
  std::fprintf(
      stderr,
      "pictures %d, thumbnails %d, build %.1f s, resident before the build %.0f MiB, peak resident "
      "after the build %.0f MiB, at the end %.0f MiB (target 512 MiB), thumbnails holding pixels %zu "
      "(%.1f MiB), browser %s\n",
      pictures, thumbnails, buildSeconds, beforeBuild / 1024.0, afterBuild / 1024.0, peak / 1024.0,
      thumbnailsWithPixels(), thumbnailPixelBytes() / (1024.0 * 1024.0), shown ? "worked" : "FAILED");
  removeTmpDirectory();
  gdk_threads_leave();
  boost::system::error_code error;
  fs::remove_all(root, error);
  return shown && thumbnails == pictures && peak <= kTargetKilobytes ? 0 : 1;
}
