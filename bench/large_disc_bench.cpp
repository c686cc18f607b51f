// A large disc inside an address-space limit: 5,000 pictures of 1024 x 1024
// (or as many as the first argument says), the browser opened on them, every
// tenth picture stepped to, a series step, and cine played at zoom 1 and at
// the largest zoom, all with `ulimit -v` at 2 GiB. Reports the peak resident
// and address-space sizes, the cache's bytes and whether all of it worked.
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/large_disc_bench [pictures]
#include "browser_run.h"

#include "app/application.h"
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/browser_window.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "catalogue/reference_catalogue.h"
#include "ui/palette.h"

#include <gtk/gtk.h>
#include <boost/filesystem.hpp>

#include <jpeglib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace {

constexpr int kSide = 1024;
constexpr int kPicturesPerSeries = 100;
constexpr int kSeriesPerStudy = 10;
constexpr rlim_t kAddressSpace = 2ull * 1024 * 1024 * 1024;

// A smooth picture with a little detail: small files, a real decode.
void writeJpeg(const std::string &path, int seed) {
  std::vector<unsigned char> row(kSide * 3);
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  jpeg_stdio_dest(&info, file);
  info.image_width = info.image_height = kSide;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    int y = static_cast<int>(info.next_scanline);
    for (int x = 0; x < kSide; ++x) {
      row[x * 3] = static_cast<unsigned char>((x + seed) / 4);
      row[x * 3 + 1] = static_cast<unsigned char>(y / 4);
      row[x * 3 + 2] = static_cast<unsigned char>(((x / 32) ^ (y / 32)) * 8 + seed);
    }
    JSAMPROW rows = row.data();
    jpeg_write_scanlines(&info, &rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
}

}  // namespace

int main(int argc, char **argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  int pictures = argc > 1 ? std::atoi(argv[1]) : 5000;
  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "This benchmark needs a display: run it under xvfb-run.\n");
    return 1;
  }
  gdk_threads_enter();
  gchar *made = g_dir_make_tmp("large-disc-XXXXXX", nullptr);
  std::string root = made;
  g_free(made);
  if (::chdir(root.c_str()) != 0) return 1;
  std::fprintf(stderr, "Writing %d pictures of %d x %d...\n", pictures, kSide, kSide);
  fs::create_directories("img");
  for (int i = 0; i < pictures; ++i) {
    int series = i / kPicturesPerSeries;
    int study = series / kSeriesPerStudy;
    char folder[64];
    std::snprintf(folder, sizeof folder, "REFIMG/ST%03d/SE%03d", study, series % kSeriesPerStudy);
    if (i % kPicturesPerSeries == 0) {
      fs::create_directories(folder);
      StudyMetadataIndex[study][series % kSeriesPerStudy] = {
          {"Kowalski^Jan", "80010112345", "CT", "20240105", "Badanie", ""}};
    }
    writeJpeg(std::string(folder) + "/IM" + std::to_string(10000 + i) + ".jpg", i);
  }

  rlimit limit{kAddressSpace, kAddressSpace};
  if (setrlimit(RLIMIT_AS, &limit) != 0) std::perror("setrlimit");
  BrowserBuild build = buildBrowserAsTheTileDoes();
  double buildSeconds = build.seconds;
  int thumbnails = build.thumbnails;
  long afterBuild = build.peakKilobytes;

  bool shown = browser.browserWindow != nullptr;
  if (shown) {
    runLoopFor(200);
    for (int step = 0; step < kPicturesPerSeries; ++step)
      gtk_button_clicked(GTK_BUTTON(browser.nextImageButton));
    gtk_button_clicked(GTK_BUTTON(browser.nextSeriesButton));
    shown = shown && showCurrentImage() > 0;
    for (double zoom : {1.0, 6.0}) {
      browser.zoomFactor = zoom;
      gtk_button_clicked(GTK_BUTTON(browser.playButton));
      runLoopFor(3000);
      gtk_button_clicked(GTK_BUTTON(browser.playButton));
    }
    shown = shown && showCurrentImage() > 0;
  }
  std::fprintf(stderr,
               "pictures %d, thumbnails %d, build %.1f s, peak resident after the build %.0f MiB "
               "(limit 64 MiB + 80 KiB x pictures = %.0f MiB), peak resident %.0f MiB, peak address space "
               "%.0f MiB of %.0f, cache %.0f MiB, browser %s\n",
               pictures, thumbnails, buildSeconds, afterBuild / 1024.0, 64 + pictures * 80 / 1024.0,
               statusKilobytes("VmHWM:") / 1024.0, statusKilobytes("VmPeak:") / 1024.0,
               static_cast<double>(kAddressSpace) / (1024 * 1024),
               static_cast<double>(fullPictureCacheBytes()) / (1024 * 1024), shown ? "worked" : "FAILED");
  removeTmpDirectory();
  gdk_threads_leave();
  boost::system::error_code error;
  fs::remove_all(root, error);
  return shown && thumbnails == pictures ? 0 : 1;
}
