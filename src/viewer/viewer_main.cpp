// velmora-viewer: the disc's diagnostic viewer. With --export-png it renders
// one frame into a PNG without a display; otherwise it opens its window on
// what it is given (the current folder when nothing).
#include "imaging/dicom_decoders.h"
#include "imaging/examination.h"
#include "imaging/frame_export.h"
#include "platform/platform.h"
#include "viewer/viewer_window.h"

#include <gtk/gtk.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/oflog/oflog.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  platform::prepareProcess();
  // DCMTK's own complaints about damaged files would go to standard error; the
  // viewer says in its own words what it cannot show.
  OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
  std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
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
  GtkWidget *window = openViewerWindow(openExamination(arguments));
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_main();
  return 0;
}
