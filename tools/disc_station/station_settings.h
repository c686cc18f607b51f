// The station's settings: its AE title and port, the peers allowed to store,
// the idle time after which a patient's job is complete, its folders and the
// disc options. A file of "key = value" lines; the command line overrides it.
#pragma once

#include <string>
#include <vector>

namespace discstation {

struct StationSettings {
  std::string aet = "DISCSTATION";
  int port = 11112;
  std::string out;    // discs, images, summaries and status files
  std::string spool;  // empty: "spool" beside the output folder's discs
  int idleSeconds = 60;
  bool keepSpool = false;
  // Peers as "AE@host"; "*" stands for any AE or any host. Empty: any AE on the loopback.
  std::vector<std::string> allowed;
  // An object larger than this is refused unread: a disc's file system takes
  // files of less than 4 GiB, and a DVD holds 4.7 GB with the viewer beside.
  unsigned long long maxObjectBytes = 2048ull << 20;
  // Below this much free space the spool takes nothing more: a disc of the
  // received objects still has to be made beside it.
  unsigned long long reserveBytes = 64ull << 20;
  // Disc options of make-disc.
  std::string navigatorProgram;  // empty: the default beside the tools
  bool noNavigator = false;
  bool artwork = true;
  bool standIns = false;
  bool image = true;
  std::string viewerProgram;
  std::string toolDirectory;  // make-disc-image and the stand-ins; empty: beside this program
  int threads = 0;
  // The medium each disc must fit (make-disc --medium); empty: any size. A
  // larger job becomes a set: folders 1, 2, ... and images JOB-1.iso, JOB-2.iso, ...
  std::string medium;
};

// Reads the file over `settings`. False with the line's problem in `error`.
bool readSettingsFile(const std::string &path, StationSettings &settings, std::string *error);

// Whether a peer calling as `callingAe` from `host` (an IP address) may store;
// an empty `callingAe`: whether any AE from the host may.
bool peerAllowed(const StationSettings &settings, const std::string &callingAe, const std::string &host);

}  // namespace discstation
