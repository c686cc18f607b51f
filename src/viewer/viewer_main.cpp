// velmora-viewer: the disc's diagnostic viewer. With --export-png it renders
// one frame into a PNG without a display; otherwise it lists what it opens.
#include "imaging/examination.h"
#include "imaging/frame_export.h"
#include "platform/platform.h"

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
  Examination examination = openExamination(arguments);
  for (const auto &patient : examination.patients) {
    std::printf("%s (%s)\n", patient.name.c_str(), patient.id.c_str());
    for (const auto &study : patient.studies) {
      std::printf("  %s %s\n", study.date.c_str(), study.description.c_str());
      for (const auto &series : study.series)
        std::printf("    %s %s %s: %ld\n", series.modality.c_str(), series.date.c_str(),
                    series.description.c_str(), series.imageCount());
    }
  }
  for (const std::string &problem : examination.problems) std::printf("%s\n", problem.c_str());
  return 0;
}
