// Authoring throughput of make-disc on both cores, against the bare loop of
// the same DCMTK render and JPEG write calls on both cores (the target is at
// most 1.2 times that loop), and against one dcmj2pnm process per file.
// The export: the DICOM files of a generated sample disc, 2 x 2 series of
// 25 pictures of 512 x 512.
#include "dicom_directory.h"
#include "export_reading.h"
#include "make_disc.h"
#include "reference_pictures.h"
#include "work_pool.h"

#include <benchmark/benchmark.h>
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmimgle/dcmimage.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <memory>

namespace fs = boost::filesystem;

namespace {

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

const Export &sampleExport() {
  static const Export made = [] {
    Export result;
    std::unique_ptr<gchar, decltype(&g_free)> folder(g_dir_make_tmp("bench-export-XXXXXX", nullptr), g_free);
    result.folder = folder ? folder.get() : "";
    samplemedium::SampleMediumOptions options;
    options.studies = 2;
    options.seriesPerStudy = 2;
    options.imagesPerSeries = 25;
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
    return result;
  }();
  return made;
}

void makeDiscOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport();
  std::vector<std::string> made;
  {
    ProcessTime measured(state);
    for (auto _ : state) {
      makedisc::MakeDiscOptions options;
      options.sources = {source.folder + "/sample/DICOM"};
      options.out = source.folder + "/disc" + std::to_string(made.size());
      options.navigatorProgram.clear();
      options.artwork = false;
      makedisc::MakeDiscSummary summary;
      std::string error;
      if (!makedisc::makeDisc(options, &summary, &error)) state.SkipWithError(error.c_str());
      made.push_back(options.out);
    }
  }
  for (const std::string &disc : made) fs::remove_all(disc);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

void bareRenderLoopOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport();
  ProcessTime measured(state);
  const std::string out = source.folder + "/bare";
  fs::create_directories(out);
  makedisc::DecoderRegistration decoders;
  for (auto _ : state) {
    makedisc::runJobs(source.files.size(), 0, [&](size_t i) {
      DicomImage image(source.files[i].c_str());
      if (image.getWindowCount() == 0 || !image.setWindow(0)) image.setMinMaxWindow(0);
      makedisc::Raster raster{static_cast<int>(image.getWidth()), static_cast<int>(image.getHeight()), 1, {}};
      const auto *bytes = static_cast<const uint8_t *>(image.getOutputData(8, 0, 0));
      if (bytes == nullptr) return;
      raster.pixels.assign(bytes, bytes + static_cast<size_t>(raster.width) * raster.height);
      std::string error;
      makedisc::writeJpeg(out + "/" + std::to_string(i) + ".jpg",
                          makedisc::fitRaster(raster, image.getHeightWidthRatio(), 1024), 90, &error);
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

// The tool's own rendering of the same files, without the rest of the disc.
void picturesOnBothCores(benchmark::State &state) {
  const Export &source = sampleExport();
  const std::string out = source.folder + "/pictures";
  fs::create_directories(out);
  makedisc::DecoderRegistration decoders;
  ProcessTime measured(state);
  makedisc::PictureSettings settings;
  for (auto _ : state) {
    makedisc::runJobs(source.files.size(), 0, [&](size_t i) {
      std::string error;
      makedisc::renderReferencePictures(source.files[i], 1, out, static_cast<int>(i) + 1, settings, &error);
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

// The parts of the work that the bare loop does not do.
void readingTheExport(benchmark::State &state) {
  const Export &source = sampleExport();
  ProcessTime measured(state);
  for (auto _ : state) benchmark::DoNotOptimize(makedisc::scanExport({source.folder + "/sample/DICOM"}, 0));
}

void dicomDirectoryOfTheExport(benchmark::State &state) {
  const Export &source = sampleExport();
  ProcessTime measured(state);
  std::vector<makedisc::DirectoryFile> files;
  for (const std::string &file : source.files) files.push_back({file.substr(source.folder.size() + 8), true});
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
  const Export &source = sampleExport();
  const std::string out = source.folder + "/dcmj2pnm";
  fs::create_directories(out);
  for (auto _ : state) {
    makedisc::runJobs(source.files.size(), 0, [&](size_t i) {
      const std::string target = out + "/" + std::to_string(i) + ".jpg";
      const char *argv[] = {"dcmj2pnm", "+Wi", "1", "+oj", source.files[i].c_str(), target.c_str(), nullptr};
      g_spawn_sync(nullptr, const_cast<gchar **>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr);
    });
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * source.files.size()));
}

}  // namespace

BENCHMARK(makeDiscOnBothCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(bareRenderLoopOnBothCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(picturesOnBothCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(readingTheExport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dicomDirectoryOfTheExport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dcmj2pnmPerFileOnBothCores)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  boost::system::error_code failure;
  if (!sampleExport().folder.empty()) fs::remove_all(sampleExport().folder, failure);
  return 0;
}
