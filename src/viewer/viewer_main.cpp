// velmora-viewer: the disc's diagnostic viewer. With --export-png it renders
// one frame into a PNG without a display; otherwise it opens its window on
// what it is given (the current folder when nothing).
#include "base/quit_request.h"
#include "imaging/dicom_decoders.h"
#include "imaging/examination.h"
#include "imaging/frame_export.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"
#include "viewer/viewer_window.h"

#include <gtk/gtk.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// The examination read on its thread, handed to the main loop under a lock
// both hold, so that what the thread wrote is published to the main thread.
struct Reading {
  std::mutex mutex;
  std::optional<Examination> read;
  GtkWidget *window = nullptr;  // main thread only; null once closed
};

// Main loop.
gboolean onExaminationRead(gpointer data) {
  Reading &reading = *static_cast<Reading *>(data);
  std::optional<Examination> read;
  {
    std::lock_guard<std::mutex> hold(reading.mutex);
    read.swap(reading.read);
  }
  if (read && reading.window != nullptr) showExamination(reading.window, std::move(*read));
  return G_SOURCE_REMOVE;
}

void onWindowClosed(GtkWidget *, gpointer data) {
  static_cast<Reading *>(data)->window = nullptr;
  gtk_main_quit();
}

}  // namespace

int main(int argc, char **argv) {
  platform::prepareProcess();
  // DCMTK's own complaints about damaged files would go to standard error; the
  // viewer says in its own words what it cannot show.
  OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
  std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
  // The medium the viewer runs from: its own folder and what it was given to
  // show (the current folder when nothing), which pictures are not saved into.
  std::vector<std::string> mediumFolders;
  for (const std::string &argument : arguments)
    mediumFolders.push_back(g_file_test(argument.c_str(), G_FILE_TEST_IS_DIR)
                                ? argument
                                : UniqueString(g_path_get_dirname(argument.c_str())).get());
  if (arguments.size() <= 1) mediumFolders.push_back(platform::currentDirectory());
  if (!arguments.empty()) arguments.erase(arguments.begin());
  for (const std::string &argument : arguments)
    if (argument == "--export-png") {
      ExportRequest request;
      std::string error;
      if (!parseExportRequest(arguments, request, error) || !exportFrame(request, error)) {
        std::fprintf(stderr, "velmora-viewer: %s\n", error.c_str());
        return 1;
      }
      return 0;
    }
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "velmora-viewer: nie można otworzyć okna (brak ekranu)\n");
    return 1;
  }
  DicomImageDecoders decoders;
  // The window shows at once (and the navigator, watching for its title,
  // stops its spinner) while a thread reads the examination: a folder without
  // a usable DICOMDIR is scanned file by file, which on a slow disc takes long.
  Reading reading;
  reading.window = openViewerWindowWhileReading();
  setRefusedSavingFolders(reading.window, mediumFolders, platform::currentDirectory());
  g_signal_connect(reading.window, "destroy", G_CALLBACK(onWindowClosed), &reading);
  std::thread reader([&reading, arguments] {
    Examination examination = openExamination(arguments);
    std::lock_guard<std::mutex> hold(reading.mutex);
    reading.read = std::move(examination);
    g_idle_add(onExaminationRead, &reading);
  });
  gtk_main();
  // A scan still going stops at its next read.
  requestQuit();
  reader.join();
  return 0;
}
