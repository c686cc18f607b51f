// The program side of the sample medium: the navigator with its settings and
// pictures, the diagnostic viewer and its runtime installer, autorun.sh.
#pragma once

#include "sample_medium.h"

#include <string>

namespace samplemedium {

// The file names of the stand-ins that take the viewer's and installer's place.
extern const char *const viewerStandIn;
extern const char *const installerStandIn;

// Writes gtk/, Program/, img/ and autorun.sh under `root`. Programs that are
// not found and artwork that is not built in are skipped with a warning.
bool writeViewerSide(const std::string &root, const SampleMediumOptions &options,
                     SampleMediumSummary *summary, std::string *error);

}  // namespace samplemedium
