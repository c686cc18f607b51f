// disc-station fetch: asks an archive which studies a patient (or an
// accession number) has, has the archive send each to the station's own
// storage service, and makes the discs as the service does.
#pragma once

#include "station_settings.h"

#include <functional>
#include <string>

namespace discstation {

struct FetchRequest {
  std::string archiveAe, archiveHost;
  int archivePort = 0;
  std::string patientId, accession;  // one of them
};

// Reads "AE@HOST:PORT" into the request. False when it is not that.
bool parseArchive(const std::string &text, FetchRequest &request);

// Fetches and makes the discs; each step's line goes to `progress`. True when
// every study came whole and every disc was made; otherwise false with the
// reason in `error`.
bool fetchAndMake(StationSettings settings, const FetchRequest &request,
                  const std::function<void(const std::string &)> &progress, std::string *error);

}  // namespace discstation
