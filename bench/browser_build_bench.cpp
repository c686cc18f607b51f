// The browser's tree build (every picture decoded at reduced size on the
// worker pool and scaled to a thumbnail, with progress on the shown main
// window) against two floor loops on one core: today's design (every picture
// decoded at full size with the toolkit's loader, scaled and kept) and the
// reduced-size floor (decoded at reduced size, scaled to 128 x 128, the
// thumbnail kept).
// Run under Xvfb: xvfb-run -a bench/browser_build_bench
#include "app/application.h"
#include "app/main_window.h"
#include "browser/thumbnail_index.h"
#include "browser/tree_building.h"
#include "catalogue/directory_listing.h"
#include "catalogue/picture_decoder.h"
#include "catalogue/reference_catalogue.h"
#include "tree/branch_tree.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include <benchmark/benchmark.h>
#include <gtk/gtk.h>
#include <boost/filesystem.hpp>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = boost::filesystem;

namespace {

// Medium: 1,000 pictures of 512 x 512 and 200 of 1024 x 1024, 50 to a series.
struct PictureSet {
  int count;
  int side;
};
const PictureSet kPictureSets[] = {{1000, 512}, {200, 1024}};
const int kPicturesPerSeries = 50;
const int kSeriesPerStudy = 4;

using Pixbuf = std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)>;

std::string mediumRoot;
std::vector<std::string> pictureFiles;  // relative, in the build's order

// A picture with some detail, so that decoding costs what a real one does.
void writeJpeg(const std::string &path, int side, int seed) {
  Pixbuf pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, side, side), g_object_unref);
  guchar *pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  int stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  guint32 noise = static_cast<guint32>(seed) * 2654435761u + 1;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      noise = noise * 1664525u + 1013904223u;
      guchar *p = pixels + y * stride + x * 3;
      p[0] = static_cast<guchar>((x + seed) ^ y);
      p[1] = static_cast<guchar>((x * y) >> 6);
      p[2] = static_cast<guchar>(noise >> 26);
    }
  gdk_pixbuf_save(pixbuf.get(), path.c_str(), "jpeg", nullptr, "quality", "85", nullptr);
}

void writePng(const std::string &path, int side) {
  Pixbuf pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, side, side), g_object_unref);
  gdk_pixbuf_fill(pixbuf.get(), 0xffffffff);
  gdk_pixbuf_save(pixbuf.get(), path.c_str(), "png", nullptr, nullptr);
}

// REFIMG/STnnn/SEnnn/IMnnnn.jpg with one attribute record per series, and the
// tree's toggle pictures; made the current directory.
void generateMedium() {
  gchar *made = g_dir_make_tmp("browser-bench-XXXXXX", nullptr);
  mediumRoot = made;
  g_free(made);
  if (::chdir(mediumRoot.c_str()) != 0) std::abort();
  fs::create_directories("img");
  writePng("img/toggle_expand.png", 9);
  writePng("img/toggle_colapse.png", 9);
  int study = 0, series = 0, picture = 0;
  for (const PictureSet &set : kPictureSets) {
    for (int i = 0; i < set.count; ++i, ++picture) {
      if (picture % kPicturesPerSeries == 0) {
        series = picture / kPicturesPerSeries;
        study = series / kSeriesPerStudy;
        StudyMetadataIndex[study][series % kSeriesPerStudy] = {
            {"Kowalski^Jan", "80010112345", "CT", "20240105", "Badanie", ""}};
      }
      char relative[64];
      std::snprintf(relative, sizeof relative, "REFIMG/ST%03d/SE%03d", study, series % kSeriesPerStudy);
      fs::create_directories(relative);
      std::string file = std::string(relative) + "/" + "IM" + std::to_string(10000 + picture) + ".jpg";
      writeJpeg(file, set.side, picture);
    }
  }
  for (const fs::path &studyDir : sortedDirectoryEntries("REFIMG"))
    for (const fs::path &seriesDir : sortedDirectoryEntries(studyDir))
      for (const fs::path &file : sortedDirectoryEntries(seriesDir)) pictureFiles.push_back(file.string());
}

// Peak resident memory since the last reset, and the reset (Linux clear_refs 5).
long statusKilobytes(const char *field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  return 0;
}
void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;        // this process only (the X server's drawing is not in it)
  double peakBytes = 0;         // above the resident size at the start
  double processPeakBytes = 0;  // the whole process's
  double keptBytes = 0;
};

// The build's trace lines still cost their writes, but to /dev/null, so that
// the terminal is not measured and the report stays readable.
class QuietStdout {
 public:
  QuietStdout() : saved_(::dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

template <typename Work>
Run measure(Work work) {
  QuietStdout quiet;
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  resetPeakMemory();
  long before = statusKilobytes("VmRSS:");
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  Run run;
  run.keptBytes = work();
  run.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakBytes = 1024.0 * (statusKilobytes("VmHWM:") - before);
  run.processPeakBytes = 1024.0 * statusKilobytes("VmHWM:");
  return run;
}

double keptBytesOf(GdkPixbuf *pixbuf) { return static_cast<double>(gdk_pixbuf_get_byte_length(pixbuf)); }

// Today's design: full decode, bilinear scaling, the full picture kept.
Run todaysFloor() {
  std::vector<Pixbuf> kept;
  Run run = measure([&kept] {
    double bytes = 0;
    for (const std::string &file : pictureFiles) {
      Pixbuf original(gdk_pixbuf_new_from_file(file.c_str(), nullptr), g_object_unref);
      Pixbuf scaled(gdk_pixbuf_scale_simple(original.get(), 128, 128, GDK_INTERP_BILINEAR), g_object_unref);
      benchmark::DoNotOptimize(scaled.get());
      bytes += keptBytesOf(original.get());
      kept.push_back(std::move(original));
    }
    return bytes;
  });
  if (kept.size() != pictureFiles.size()) std::abort();
  return run;
}

// Decoding at reduced size and scaling to 128 x 128 on one core, the
// thumbnails kept.
Run reducedFloor() {
  std::vector<PixbufPtr> kept;
  Run run = measure([&kept] {
    double bytes = 0;
    for (const std::string &file : pictureFiles) {
      DecodedPicture decoded = decodePictureFile(file, 128, 128);
      PixbufPtr scaled(gdk_pixbuf_scale_simple(decoded.pixels.get(), 128, 128, GDK_INTERP_BILINEAR));
      bytes += keptBytesOf(scaled.get());
      kept.push_back(std::move(scaled));
    }
    return bytes;
  });
  if (kept.size() != pictureFiles.size()) std::abort();
  return run;
}

// As the browser does it: a new tree, the bar at 0 and shown, then the build.
Run buildLoop() {
  BranchTree tree;
  ThumbnailMap thumbnails;
  Run run = measure([&] {
    createTreeRoot(tree);
    loadedImageCount = 0;
    totalImageCount = static_cast<int>(pictureFiles.size());
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(loadProgressBar), 0);
    gtk_widget_show(loadProgressBar);
    gtk_widget_queue_draw(loadProgressBar);
    gdk_window_process_updates(gtk_widget_get_window(loadProgressBar), TRUE);
    thumbnails = buildStudyBranches(tree, fs::absolute("REFIMG"));
    double bytes = 0;
    for (const auto &study : thumbnails)
      for (const auto &series : study.second)
        for (GtkWidget *image : series.second) bytes += keptBytesOf(gtk_image_get_pixbuf(GTK_IMAGE(image)));
    return bytes;
  });
  size_t count = 0;
  for (const auto &study : thumbnails)
    for (const auto &series : study.second) count += series.second.size();
  if (count != pictureFiles.size()) std::abort();
  gtk_widget_hide(loadProgressBar);
  GtkWidget *outer = g_object_ref_sink(treeOuterEventBox(tree));
  gtk_widget_destroy(outer);
  g_object_unref(outer);
  return run;
}

// The three loops take turns within each iteration, in a rotating order, so
// that load from other processes falls on all alike; the fastest runs are
// compared too, being the least disturbed.
void BM_BrowserBuildAgainstFloor(benchmark::State &state) {
  Run build, today, reduced;
  double fastestBuild = 1e30, fastestToday = 1e30, fastestReduced = 1e30;
  int turn = 0;
  for (auto _ : state) {
    Run todayRun, reducedRun, buildRun;
    for (int step = 0; step < 3; ++step) {
      switch ((turn + step) % 3) {
        case 0:
          todayRun = todaysFloor();
          break;
        case 1:
          reducedRun = reducedFloor();
          break;
        default:
          buildRun = buildLoop();
          break;
      }
    }
    ++turn;
    state.SetIterationTime(buildRun.seconds);
    for (auto [total, one] :
         {std::pair<Run *, Run *>{&build, &buildRun}, {&today, &todayRun}, {&reduced, &reducedRun}}) {
      total->seconds += one->seconds;
      total->cpuSeconds += one->cpuSeconds;
      total->peakBytes = std::max(total->peakBytes, one->peakBytes);
      total->processPeakBytes = std::max(total->processPeakBytes, one->processPeakBytes);
      total->keptBytes = one->keptBytes;
    }
    fastestBuild = std::min(fastestBuild, buildRun.seconds);
    fastestToday = std::min(fastestToday, todayRun.seconds);
    fastestReduced = std::min(fastestReduced, reducedRun.seconds);
  }
  double iterations = static_cast<double>(state.iterations());
  const double MB = 1024.0 * 1024.0;
  double pictures = static_cast<double>(pictureFiles.size());
  state.counters["build_s"] = build.seconds / iterations;
  state.counters["today_floor_s"] = today.seconds / iterations;
  state.counters["reduced_floor_s"] = reduced.seconds / iterations;
  state.counters["ratio_today"] = build.seconds / today.seconds;
  state.counters["ratio_reduced"] = build.seconds / reduced.seconds;
  state.counters["fastest_ratio_today"] = fastestBuild / fastestToday;
  state.counters["fastest_ratio_reduced"] = fastestBuild / fastestReduced;
  state.counters["cpu_ratio_reduced"] = build.cpuSeconds / reduced.cpuSeconds;
  state.counters["peak_MB"] = build.peakBytes / MB;
  state.counters["process_peak_MB"] = build.processPeakBytes / MB;
  state.counters["peak_limit_MB"] = (64 * MB + 80 * 1024 * pictures) / MB;
  state.counters["today_peak_MB"] = today.peakBytes / MB;
}
BENCHMARK(BM_BrowserBuildAgainstFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  std::setlocale(LC_ALL, "C.UTF-8");
  // A fixed threshold keeps every full-size picture in memory of its own, as in
  // the program's single build, so that freed pictures leave the process
  // between iterations and each peak is measured afresh.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "This benchmark needs a display: run it under xvfb-run.\n");
    return 1;
  }
  gdk_threads_enter();
  std::fprintf(stderr, "Generating the medium...\n");
  generateMedium();
  parsePalette();
  buildMainWindow();
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  gdk_threads_leave();
  boost::system::error_code error;
  fs::remove_all(mediumRoot, error);
  return 0;
}
