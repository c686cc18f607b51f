// Writing the whole artwork, as a medium generator does once per medium.
#include "artwork.h"

#include <benchmark/benchmark.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <string>

static void writeAllPictures(benchmark::State &state) {
  char *made = g_dir_make_tmp("artwork-bench-XXXXXX", nullptr);
  const std::string root = made ? made : "";
  g_free(made);
  if (root.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  for (auto _ : state) {
    std::string error;
    if (!writeArtwork(root + "/img", &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  boost::filesystem::remove_all(root);
}
BENCHMARK(writeAllPictures)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
