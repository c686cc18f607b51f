// Cost of one cine frame (scaling, information line, immediate redraw) and the
// frame interval achieved by playback, on a real browser under X (Xvfb).
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/cine_frame_bench
#include "app/application.h"
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/browser_window.h"
#include "browser/cine_playback.h"
#include "browser/full_pictures.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "browser/thumbnail_handlers.h"
#include "catalogue/reference_catalogue.h"
#include "ui/palette.h"

#include <benchmark/benchmark.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gtk/gtk.h>
#include <boost/filesystem.hpp>

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = boost::filesystem;

constexpr int kPicturesPerSeries = 8;
constexpr int kPlaybackSeconds = 10;

// A picture with some detail in it, so that it decodes and scales like a scan.
void writePicture(const fs::path &path, int side) {
  fs::create_directories(path.parent_path());
  std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> picture(
      gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, side, side), g_object_unref);
  guchar *pixels = gdk_pixbuf_get_pixels(picture.get());
  int stride = gdk_pixbuf_get_rowstride(picture.get());
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      guchar grey = static_cast<guchar>((x * 7 + y * 13 + (x * y) / 64) & 0xff);
      std::fill_n(pixels + y * stride + x * 3, 3, grey);
    }
  gdk_pixbuf_save(picture.get(), path.c_str(), "jpeg", nullptr, "quality", "85", nullptr);
}

void writeDicom(const fs::path &path, const char *seriesDescription) {
  fs::create_directories(path.parent_path());
  DcmFileFormat file;
  DcmDataset *data = file.getDataset();
  char uid[100];
  data->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  data->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
  data->putAndInsertString(DCM_PatientName, "Kowalski^Jan");
  data->putAndInsertString(DCM_PatientID, "80010112345");
  data->putAndInsertString(DCM_Modality, "CT");
  data->putAndInsertString(DCM_StudyDate, "20240105");
  data->putAndInsertString(DCM_StudyDescription, "Badanie kontrolne");
  data->putAndInsertString(DCM_SeriesDescription, seriesDescription);
  file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
}

// Series 0 holds 512 x 512 pictures, series 1 1024 x 1024 ones.
int seriesOfSide(int side) { return side == 512 ? 0 : 1; }

// A medium in a temporary folder, made the current directory, with the
// browser opened on it as a press on the tile does.
class BrowserOnMedium {
 public:
  BrowserOnMedium() {
    gchar *made = g_dir_make_tmp("cine-bench-XXXXXX", nullptr);
    root_ = made;
    g_free(made);
    if (::chdir(root_.c_str()) != 0) std::perror("chdir");
    for (int side : {512, 1024}) {
      std::string series = "SE00" + std::to_string(seriesOfSide(side) + 1);
      for (int i = 0; i < kPicturesPerSeries; ++i)
        writePicture("REFIMG/ST001/" + series + "/IM00" + std::to_string(i + 1) + ".jpg", side);
      writeDicom("DICOM/ST001/" + series + "/IM000001", side == 512 ? "512" : "1024");
    }
    fs::create_directories("img");
    std::fflush(stdout);
    createTmpDirectory();
    parsePalette();
    buildMainWindow();
    GdkEventButton press{};
    press.type = GDK_BUTTON_PRESS;
    openReferenceBrowser(nullptr, &press, nullptr);
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  }
  ~BrowserOnMedium() {
    removeTmpDirectory();
    boost::system::error_code error;
    fs::remove_all(root_, error);
  }
  bool ready() const { return browser.browserWindow != nullptr; }

 private:
  std::string root_;
};

// Zoom steps are presses of the zoom-in button: 1.2 to the power of the
// presses, up to the largest shown size (8192 pixels a side: 11 presses on
// 1024 x 1024, 15 on 512 x 512).
double zoomOfPresses(int64_t presses) { return std::pow(1.2, static_cast<double>(presses)); }

void showFirstPicture(int side, int64_t presses) {
  setCurrentPosition({0, seriesOfSide(side), 0});
  browser.selectedThumbnail = currentThumbnail();
  browser.zoomFactor = zoomOfPresses(presses);
}

std::string label(const benchmark::State &state) {
  char text[64];
  std::snprintf(text, sizeof text, "%d px at zoom %.2f", static_cast<int>(state.range(0)),
                zoomOfPresses(state.range(1)));
  return text;
}

// Keeps one core busy while it lives.
class BusyCore {
 public:
  explicit BusyCore(bool busy) {
    if (busy)
      spinner_ = std::thread([this] {
        while (!stop_) benchmark::DoNotOptimize(++turns_);
      });
  }
  ~BusyCore() {
    stop_ = true;
    if (spinner_.joinable()) spinner_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<long> turns_{0};
  std::thread spinner_;
};

// One frame as playback shows it; the flush waits for the X server to draw it.
void BM_CineFrame(benchmark::State &state) {
  showFirstPicture(static_cast<int>(state.range(0)), state.range(1));
  for (auto _ : state) {
    showNextCineFrame();
    gdk_flush();
  }
  state.SetLabel(label(state));
}
BENCHMARK(BM_CineFrame)->ArgsProduct({{512, 1024}, {0, 2, 4, 6, 8, 11}})->Unit(benchmark::kMillisecond);

void sendPress(GtkWidget *thumbnail) {
  GdkEventButton press{};
  press.type = GDK_BUTTON_PRESS;
  press.button = 1;
  onThumbnailPressed(thumbnail, &press, gtk_widget_get_parent(thumbnail));
}

// A press on a thumbnail whose full picture was never decoded: decoding, the
// visible part scaled and drawn.
void BM_FirstFullPicture(benchmark::State &state) {
  showFirstPicture(static_cast<int>(state.range(0)), 0);
  const std::vector<GtkWidget *> &series = currentSeriesThumbnails();
  size_t next = 0;
  for (auto _ : state) {
    state.PauseTiming();
    forgetFullPictures();
    next = (next + 1) % series.size();
    GtkWidget *thumbnail = series[next];
    state.ResumeTiming();
    sendPress(thumbnail);
    gdk_window_process_updates(gtk_widget_get_window(browser.imageView), TRUE);
    gdk_flush();
  }
  state.SetLabel(std::to_string(state.range(0)) + " px, cold cache");
}
BENCHMARK(BM_FirstFullPicture)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

gboolean endPlayback(gpointer) {
  gtk_main_quit();
  return FALSE;
}

double percentile(const std::vector<double> &sorted, double fraction) {
  if (sorted.empty()) return 0;
  return sorted[static_cast<size_t>(fraction * (sorted.size() - 1) + 0.5)];
}

// Ten seconds of playback run by the main loop, as in the program.
void BM_CinePlaybackInterval(benchmark::State &state) {
  std::vector<double> intervals;
  for (auto _ : state) {
    showFirstPicture(static_cast<int>(state.range(0)), state.range(1));
    BusyCore busy(state.range(2) != 0);
    std::vector<gint64> frames;
    setPictureShownObserver([&frames] { frames.push_back(g_get_monotonic_time()); });
    gtk_button_clicked(GTK_BUTTON(browser.playButton));
    g_timeout_add_seconds(kPlaybackSeconds, endPlayback, nullptr);
    gtk_main();
    setPictureShownObserver(nullptr);
    gtk_button_clicked(GTK_BUTTON(browser.playButton));
    for (size_t i = 1; i < frames.size(); ++i) intervals.push_back((frames[i] - frames[i - 1]) / 1000.0);
  }
  std::sort(intervals.begin(), intervals.end());
  state.counters["frames"] = static_cast<double>(intervals.size() + 1);
  state.counters["median_ms"] = percentile(intervals, 0.5);
  state.counters["p10_ms"] = percentile(intervals, 0.1);
  state.counters["p90_ms"] = percentile(intervals, 0.9);
  state.counters["min_ms"] = intervals.empty() ? 0 : intervals.front();
  state.counters["max_ms"] = intervals.empty() ? 0 : intervals.back();
  state.SetLabel(label(state) + (state.range(2) != 0 ? ", other core busy" : ""));
}
BENCHMARK(BM_CinePlaybackInterval)
    ->ArgsProduct({{1024}, {0, 4, 8, 11}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  std::setlocale(LC_ALL, "C.UTF-8");
  initToolkitThreads();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "This benchmark needs a display: run it under xvfb-run.\n");
    return 1;
  }
  gdk_threads_enter();
  int result = 0;
  {
    BrowserOnMedium browser;
    if (!browser.ready()) {
      std::fprintf(stderr, "The browser could not be built on the benchmark's medium.\n");
      result = 1;
    } else {
      benchmark::RunSpecifiedBenchmarks();
    }
  }
  gdk_threads_leave();
  benchmark::Shutdown();
  return result;
}
