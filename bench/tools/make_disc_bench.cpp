// Authoring throughput of make-disc on both cores, against the bare loop of
// the same DCMTK render and JPEG write calls on both cores (the target is at
// most 1.2 times that loop), and against one dcmj2pnm process per file.
// The exports (the benchmark's argument): the DICOM files of a generated
// sample disc, 0: 2 x 2 series of 25 pictures of 512 x 512 (100 files),
// 1: 2 x 4 series of 125 (1,000 files), 2: 2 x 4 series of 25 of 1024 x 1024,
// 3: the files of 0 in JPEG lossless, as archives often export them,
// 4: 2 x 4 series of 250 (2,000 files), 5: 2 x 5 series of 1,000 (10,000
// files), both 512 x 512; these two only where named, since they take minutes.
// Every run writes new files into a new folder, as a disc is made: creating
// files costs far more than rewriting old ones. TMPDIR chooses the file system.
#include "dicom_directory.h"
#include "export_reading.h"
#include "make_disc.h"
#include "reference_pictures.h"

#include "catalogue/worker_pool.h"
#include "imaging/dicom_decoders.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmimgle/dcmimage.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpeg/djrplol.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

namespace fs = boost::filesystem;

namespace {

// Runs job(0) ... job(count - 1) on every processor, as the tool does.
void onEveryCore(size_t count, const std::function<void(size_t)> &job) {
  WorkerPool pool(WorkerPool::processorCount() - 1);
  pool.forEach(count, job);
}

// Processor time of the whole process (every thread), in seconds: on a busy
// machine a steadier measure of the work than the wall clock.
double processSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Reports the process time per run beside the wall time.
class ProcessTime {
 public:
  explicit ProcessTime(benchmark::State &state) : state_(state), start_(processSeconds()) {}
  ~ProcessTime() {
    if (state_.iterations() > 0)
      state_.counters["process_ms"] =
          (processSeconds() - start_) * 1000 / static_cast<double>(state_.iterations());
  }

 private:
  benchmark::State &state_;
  double start_;
};

struct Export {
  std::string folder;              // scratch folder holding the sample disc
  std::vector<std::string> files;  // its DICOM files
};

struct ExportShape {
  int seriesPerStudy, imagesPerSeries, pictureSize;
  bool jpegLossless;
};
const ExportShape kShapes[] = {{2, 25, 512, false}, {4, 125, 512, false}, {4, 25, 1024, false},
                               {2, 25, 512, true},  {4, 250, 512, false}, {5, 1000, 512, false}};
const int kShapeCount = 4;  // the ones every benchmark runs on

// Rewrites `file` in JPEG lossless (process 14, first-order prediction).
bool compressLossless(const std::string &file) {
  DcmFileFormat format;
  if (format.loadFile(file.c_str()).bad()) return false;
  DcmDataset *dataset = format.getDataset();
  DJ_RPLossless parameters;
  if (dataset->chooseRepresentation(EXS_JPEGProcess14SV1, &parameters).bad() ||
      !dataset->canWriteXfer(EXS_JPEGProcess14SV1))
    return false;
  return format.saveFile(file.c_str(), EXS_JPEGProcess14SV1).good();
}

Export makeExport(const ExportShape &shape) {
  Export result;
  std::unique_ptr<gchar, decltype(&g_free)> folder(g_dir_make_tmp("bench-export-XXXXXX", nullptr), g_free);
  result.folder = folder ? folder.get() : "";
  samplemedium::SampleMediumOptions options;
  options.studies = 2;
  options.seriesPerStudy = shape.seriesPerStudy;
  options.imagesPerSeries = shape.imagesPerSeries;
  options.pictureSize = shape.pictureSize;
  options.navigatorProgram.clear();
  options.toolDirectory.clear();
  options.artwork = false;
  samplemedium::SampleMediumSummary summary;
  std::string error;
  if (result.folder.empty() ||
      !samplemedium::generateSampleMedium(result.folder + "/sample", options, &summary, &error))
    return result;
  for (fs::recursive_directory_iterator it(result.folder + "/sample/DICOM"), end; it != end; ++it)
    if (fs::is_regular_file(it->path())) result.files.push_back(it->path().string());
  std::sort(result.files.begin(), result.files.end());
  if (shape.jpegLossless) {
    DJEncoderRegistration::registerCodecs();
    for (const std::string &file : result.files) {
      fs::permissions(file, fs::owner_read | fs::owner_write);
      if (!compressLossless(file)) result.files.clear();
    }
    DJEncoderRegistration::cleanup();
  }
  return result;
}

// Each export is made on first use and removed at exit.
std::map<int, Export> &exports() {
  static std::map<int, Export> made;
  return made;
}

const Export &exportOfShape(int shape) {
  auto found = exports().find(shape);
  if (found == exports().end()) found = exports().emplace(shape, makeExport(kShapes[shape])).first;
  return found->second;
}

const Export &sampleExport(const benchmark::State &state) {
  return exportOfShape(static_cast<int>(state.range(0)));
}

// A new folder for each run's output, removed after the run with the clock
// stopped. Kept to the end, the folders took ever new memory for their pages,
// and on a virtual machine whose memory the host hands out on first use that
// cost up to 25 times what writing the bytes costs (a gigabyte written at
// 84 MB/s instead of 2 GB/s), which no patient's computer pays.
class RunFolder {
 public:
  RunFolder(benchmark::State &state, const Export &source, const std::string &kind, bool create = true)
      : state_(state), path_(source.folder + "/" + kind) {
    if (create) fs::create_directories(path_);
  }
  ~RunFolder() {
    state_.PauseTiming();
    boost::system::error_code error;
    fs::remove_all(path_, error);
    state_.ResumeTiming();
  }
  const std::string &path() const { return path_; }

 private:
  benchmark::State &state_;
  std::string path_;
};

bool makeDiscOnce(const Export &source, const std::string &out, std::string *error) {
  makedisc::MakeDiscOptions options;
  options.sources = {source.folder + "/sample/DICOM"};
  options.out = out;
  options.navigatorProgram.clear();
  options.artwork = false;
  makedisc::MakeDiscSummary summary;
  return makedisc::makeDisc(options, &summary, error);
}

// The bare loop on both cores; `copy` adds the byte-for-byte copy of each
// file, which no disc of these files can do without. Decoders registered.
void bareLoop(const Export &source, const std::string &out, bool copy) {
  onEveryCore(source.files.size(), [&](size_t i) {
    std::string error;
    if (copy)
      platform::copyFileNoOverwrite(source.files[i], out + "/" + std::to_string(i) + ".dcm", {}, &error);
    DicomImage image(source.files[i].c_str());
    if (image.getWindowCount() == 0 || !image.setWindow(0)) image.setMinMaxWindow(0);
    makedisc::Raster raster{static_cast<int>(image.getWidth()), static_cast<int>(image.getHeight()), 1, {}};
    const auto *bytes = static_cast<const uint8_t *>(image.getOutputData(8, 0, 0));
    if (bytes == nullptr) return;
    raster.pixels.assign(bytes, bytes + static_cast<size_t>(raster.width) * raster.height);
    makedisc::writeJpeg(out + "/" + std::to_string(i) + ".jpg",
                        makedisc::fitRaster(raster, image.getHeightWidthRatio(), 1024), 90, &error);
  });
}

void makeDiscOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport(state);
  ProcessTime measured(state);
  for (auto _ : state) {
    const RunFolder out(state, source, "disc", false);
    std::string error;
    if (!makeDiscOnce(source, out.path(), &error)) state.SkipWithError(error.c_str());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

void bareRenderLoopOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport(state);
  ProcessTime measured(state);
  DicomImageDecoders decoders;
  for (auto _ : state) {
    const RunFolder out(state, source, "bare");
    bareLoop(source, out.path(), false);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The whole run, the bare loop and the loop with copies, in turn, so that
// each ratio compares runs a moment apart. This virtual machine's speed
// drifts by a third within minutes, more than separate benchmarks can tell
// from the tool's own cost. Reported: the median ratios to the bare loop.
void pairedWithTheBareLoop(benchmark::State &state) {
  const Export &source = sampleExport(state);
  DicomImageDecoders decoders;
  std::vector<double> disc, copying, withCopies;
  // Seconds of one run into a new folder, which is removed afterwards.
  auto timed = [&](const char *kind, bool create, const std::function<void(const std::string &)> &run) {
    const RunFolder out(state, source, kind, create);
    const gint64 start = g_get_monotonic_time();
    run(out.path());
    return static_cast<double>(g_get_monotonic_time() - start) / 1e6;
  };
  for (auto _ : state) {
    std::string error;
    const double loop = timed("bare", true, [&](const std::string &out) { bareLoop(source, out, false); });
    const double whole =
        timed("disc", false, [&](const std::string &out) { makeDiscOnce(source, out, &error); });
    const double copied = timed("copied", true, [&](const std::string &out) { bareLoop(source, out, true); });
    if (!error.empty()) state.SkipWithError(error.c_str());
    disc.push_back(whole / loop);
    copying.push_back(copied / loop);
    withCopies.push_back(whole / copied);
  }
  state.counters["disc_over_loop"] = median(disc);
  state.counters["loop_with_copies_over_loop"] = median(copying);
  state.counters["disc_over_loop_with_copies"] = median(withCopies);
}

// The whole run of 10,000 files against the run of 2,000, in turn: the work
// per file must not grow with the disc (the target is at most 5.5 times).
void tenThousandOverTwoThousand(benchmark::State &state) {
  const Export &small = exportOfShape(4), &large = exportOfShape(5);
  DicomImageDecoders decoders;
  std::vector<double> ratios;
  auto timed = [&](const Export &source) {
    const RunFolder out(state, source, "disc", false);
    std::string error;
    const gint64 start = g_get_monotonic_time();
    if (!makeDiscOnce(source, out.path(), &error)) state.SkipWithError(error.c_str());
    return static_cast<double>(g_get_monotonic_time() - start) / 1e6;
  };
  for (auto _ : state) {
    const double two = timed(small);
    ratios.push_back(timed(large) / two);
  }
  state.counters["ten_thousand_over_two_thousand"] = median(ratios);
}

// The tool's own rendering of the same files, without the rest of the disc.
void picturesOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport(state);
  DicomImageDecoders decoders;
  ProcessTime measured(state);
  makedisc::PictureSettings settings;
  for (auto _ : state) {
    const RunFolder out(state, source, "pictures");
    onEveryCore(source.files.size(), [&](size_t i) {
      std::string error;
      makedisc::renderReferencePictures(source.files[i], 1, out.path(), static_cast<int>(i) + 1, settings,
                                        &error);
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

// The parts of the work that the bare loop does not do: reading the export,
// the byte-for-byte copy (on both cores) and the DICOMDIR.
void readingTheExport(benchmark::State &state) {
  const Export &source = sampleExport(state);
  ProcessTime measured(state);
  WorkerPool pool(WorkerPool::processorCount() - 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(makedisc::scanExport({source.folder + "/sample/DICOM"}, pool));
}

void copyingTheExportOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport(state);
  ProcessTime measured(state);
  for (auto _ : state) {
    const RunFolder out(state, source, "copies");
    onEveryCore(source.files.size(), [&](size_t i) {
      std::string error;
      if (!platform::copyFileNoOverwrite(source.files[i], out.path() + "/" + std::to_string(i), {}, &error))
        state.SkipWithError(error.c_str());
    });
  }
}

void dicomDirectoryOfTheExport(benchmark::State &state) {
  const Export &source = sampleExport(state);
  ProcessTime measured(state);
  std::vector<makedisc::DirectoryFile> files;
  for (const std::string &file : source.files)
    files.push_back({file.substr(source.folder.size() + 8), true, true});
  for (auto _ : state) {
    std::vector<std::string> refused;
    std::string error;
    fs::remove(source.folder + "/sample/DICOMDIR");
    if (!makedisc::writeDicomDirectory(source.folder + "/sample", files, makedisc::chooseProfile({}), "BENCH",
                                       &refused, &error))
      state.SkipWithError(error.c_str());
  }
}

void dcmj2pnmPerFileOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport(state);
  for (auto _ : state) {
    const RunFolder out(state, source, "dcmj2pnm");
    onEveryCore(source.files.size(), [&](size_t i) {
      const std::string target = out.path() + "/" + std::to_string(i) + ".jpg";
      const char *argv[] = {"dcmj2pnm", "+Wi", "1", "+oj", source.files[i].c_str(), target.c_str(), nullptr};
      g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr);
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

}  // namespace

// Every export; --benchmark_filter='/0' keeps to the small one.
void exportShapes(benchmark::internal::Benchmark *benchmark) {
  for (int shape = 0; shape < kShapeCount; ++shape) benchmark->Arg(shape);
}

BENCHMARK(makeDiscOnBothCores)->Apply(exportShapes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(bareRenderLoopOnBothCores)
    ->Apply(exportShapes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);
BENCHMARK(pairedWithTheBareLoop)
    ->Apply(exportShapes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(9);
BENCHMARK(pairedWithTheBareLoop)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(tenThousandOverTwoThousand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(picturesOnBothCores)->Apply(exportShapes)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(readingTheExport)->Apply(exportShapes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(copyingTheExportOnBothCores)->Apply(exportShapes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dicomDirectoryOfTheExport)->Apply(exportShapes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dcmj2pnmPerFileOnBothCores)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  boost::system::error_code failure;
  for (const auto &made : exports())
    if (!made.second.folder.empty()) fs::remove_all(made.second.folder, failure);
  return 0;
}
