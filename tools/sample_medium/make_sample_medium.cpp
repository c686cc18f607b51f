// make-sample-medium <dir> [options]: writes a complete sample disc folder.
#include "sample_medium.h"

#include <glib.h>

#include <clocale>
#include <cstdio>
#include <memory>

int main(int argc, char **argv) {
  std::setlocale(LC_ALL, "");
  samplemedium::SampleMediumOptions options;
  gchar *navigator = nullptr, *tools = nullptr;
  gboolean noArtwork = FALSE, windows = FALSE;
  const GOptionEntry entries[] = {
      {"studies", 0, 0, G_OPTION_ARG_INT, &options.studies, "Number of studies (default 3)", "N"},
      {"series", 0, 0, G_OPTION_ARG_INT, &options.seriesPerStudy, "Series per study (default: 2 to 4)", "N"},
      {"images", 0, 0, G_OPTION_ARG_INT, &options.imagesPerSeries, "Pictures per series (default: 8 to 40)",
       "N"},
      {"size", 0, 0, G_OPTION_ARG_INT, &options.pictureSize, "Picture width in pixels (default 512)",
       "PIXELS"},
      {"threads", 0, 0, G_OPTION_ARG_INT, &options.threads, "Worker threads (default: one per processor)",
       "N"},
      {"navigator", 0, 0, G_OPTION_ARG_FILENAME, &navigator, "The navigator program to put on the medium",
       "PATH"},
      {"tools", 0, 0, G_OPTION_ARG_FILENAME, &tools, "Folder of the viewer and installer stand-ins", "DIR"},
      {"no-artwork", 0, 0, G_OPTION_ARG_NONE, &noArtwork, "Leave the navigator's pictures out", nullptr},
      {"windows", 0, 0, G_OPTION_ARG_NONE, &windows,
       "Put the Windows program and stand-ins on the medium too", nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
  };
  std::unique_ptr<GOptionContext, decltype(&g_option_context_free)> context(
      g_option_context_new("DIR - write a sample examination disc into DIR"), g_option_context_free);
  g_option_context_add_main_entries(context.get(), entries, nullptr);
  GError *failure = nullptr;
  if (!g_option_context_parse(context.get(), &argc, &argv, &failure) || argc != 2) {
    std::fprintf(
        stderr, "%s\nUsage: make-sample-medium DIR [--studies N] [--series N] [--images N] [--size PIXELS]\n",
        failure ? failure->message : "One target folder is needed.");
    if (failure) g_error_free(failure);
    return 2;
  }
  if (navigator) options.navigatorProgram = navigator;
  if (tools) options.toolDirectory = tools;
  options.artwork = !noArtwork;
  options.windows = windows;
  g_free(navigator);
  g_free(tools);

  samplemedium::SampleMediumSummary summary;
  std::string error;
  const bool made = samplemedium::generateSampleMedium(argv[1], options, &summary, &error);
  for (const std::string &warning : summary.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
  if (!made) {
    std::fprintf(stderr, "make-sample-medium: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s: %d studies, %d series, %d pictures in %.2f s\n", argv[1], summary.studies, summary.series,
              summary.images, summary.seconds);
  return 0;
}
