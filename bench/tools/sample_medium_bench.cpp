// How long the sample medium generator takes for a large disc: a few thousand
// pictures must be made in well under a minute.
#include "sample_medium.h"

#include <benchmark/benchmark.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <memory>

namespace {

// Arguments: pictures per series, picture width; 10 studies of 10 series.
void generateLargeMedium(benchmark::State &state) {
  samplemedium::SampleMediumOptions options;
  options.studies = 10;
  options.seriesPerStudy = 10;
  options.imagesPerSeries = static_cast<int>(state.range(0));
  options.pictureSize = static_cast<int>(state.range(1));
  options.navigatorProgram.clear();
  options.toolDirectory.clear();
  int pictures = 0;
  for (auto _ : state) {
    std::unique_ptr<gchar, decltype(&g_free)> folder(g_dir_make_tmp("bench-medium-XXXXXX", nullptr), g_free);
    samplemedium::SampleMediumSummary summary;
    std::string error;
    if (!folder ||
        !samplemedium::generateSampleMedium(std::string(folder.get()) + "/disc", options, &summary, &error))
      state.SkipWithError(error.c_str());
    pictures += summary.images;
    state.PauseTiming();
    boost::system::error_code failure;
    if (folder) boost::filesystem::remove_all(folder.get(), failure);
    state.ResumeTiming();
  }
  state.counters["pictures"] = benchmark::Counter(pictures, benchmark::Counter::kAvgIterations);
  state.counters["pictures/s"] = benchmark::Counter(pictures, benchmark::Counter::kIsRate);
}
BENCHMARK(generateLargeMedium)
    ->Args({30, 512})
    ->Args({12, 1024})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
