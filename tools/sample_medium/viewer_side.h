// The program side of the sample medium: the navigator with its settings and
// pictures, the diagnostic viewer and its runtime installer, autorun.sh.
#pragma once

#include "sample_medium.h"

#include <string>

namespace samplemedium {

// The file names of the stand-ins that take the viewer's and installer's place.
extern const char *const viewerStandIn;
extern const char *const installerStandIn;

// Our viewer's place on the disc, as viewer.ini names it (the navigator reads
// the path relative to the disc's root on both systems), and the title of its
// first window, which the navigator's watch looks for.
extern const char *const ownViewerOnDisc;
extern const char *const ownViewerTitle;

// Writes gtk/, Program/, img/ and autorun.sh under `root`. Programs that are
// not found and artwork that is not built in are skipped with a warning.
// viewer.ini names the stand-in viewer when the stand-ins are asked for, else
// our viewer when it is on the disc.
bool writeViewerSide(const std::string &root, const SampleMediumOptions &options,
                     SampleMediumSummary *summary, std::string *error);

}  // namespace samplemedium
