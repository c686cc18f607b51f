// Helpers for tests and benchmarks that speak DICOM and HTTP over the
// loopback: free ports, DCMTK's connections without Nagle's delay, and an
// Orthanc archive of the caller's own.
#pragma once

#include "support/scratch_folder.h"

#include <sys/types.h>
#include <string>

namespace testsupport {

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
int freePort();

// DCMTK's connections of this process send each message at once from now on,
// as the station's own do: with Nagle's algorithm every request would wait for
// a delayed acknowledgement (40 ms). Call before any thread starts: it sets
// the environment variable DCMTK reads.
void dicomWithoutNagle();

// One HTTP/1.0 request to the loopback: the status code, and the body in `reply`.
int http(int port, const std::string &method, const std::string &path, const std::string &body,
         std::string *reply);

// A string value of Orthanc's JSON answers ("Key" : "value").
std::string jsonField(const std::string &json, const std::string &key);

// Orthanc in the foreground with its own storage and ports, AE "ORTHANC"; the
// station at `stationPort` is its modality "station", and again as
// "stranger", which calls with an AE the station does not know.
struct Orthanc {
  ScratchFolder folder;
  int http, dicom;
  pid_t pid = -1;
  explicit Orthanc(int stationPort);
  ~Orthanc();
  Orthanc(const Orthanc &) = delete;
  Orthanc &operator=(const Orthanc &) = delete;
};

}  // namespace testsupport
