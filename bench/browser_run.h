// What the whole-browser benchmarks share: the process's memory figures, a
// main loop run for a while, and the browser built as the tile press builds it.
#pragma once

#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "browser/browser_window.h"
#include "browser/thumbnail_index.h"
#include "ui/palette.h"

#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

// A field of /proc/self/status in kilobytes (VmRSS:, VmHWM:).
inline long statusKilobytes(const char *field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  return 0;
}

inline void runLoopFor(int milliseconds) {
  g_timeout_add(
      static_cast<guint>(milliseconds),
      [](gpointer) -> gboolean {
        gtk_main_quit();
        return FALSE;
      },
      nullptr);
  gtk_main();
}

struct BrowserBuild {
  double seconds = 0;
  int thumbnails = 0;
  long peakKilobytes = 0;  // peak resident just after the build
};

// The main window and a press on the reference tile, with the build's trace
// lines sent nowhere.
inline BrowserBuild buildBrowserAsTheTileDoes() {
  std::fflush(stdout);
  std::freopen("/dev/null", "w", stdout);
  createTmpDirectory();
  parsePalette();
  buildMainWindow();
  auto start = std::chrono::steady_clock::now();
  GdkEventButton press{};
  press.type = GDK_BUTTON_PRESS;
  openReferenceBrowser(nullptr, &press, nullptr);
  BrowserBuild build;
  build.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const auto &study : ThumbnailIndex)
    for (const auto &series : study.second) build.thumbnails += static_cast<int>(series.second.size());
  build.peakKilobytes = statusKilobytes("VmHWM:");
  return build;
}
