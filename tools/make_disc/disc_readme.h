// README.TXT at a disc's root: what the disc holds and how to open it, for
// the patient and for another clinic's staff. Plain ASCII with CR LF line
// ends, readable by any system's text viewer; no patient data in it, since
// it is the one file anyone opens first.
#pragma once

#include "disc_plan.h"

#include <set>
#include <string>
#include <vector>

namespace makedisc {

// What one disc holds.
struct DiscContents {
  int studies = 0;
  int series = 0;  // image series
  int images = 0;
  int reports = 0;
  std::set<std::string> modalities;  // "CT", "MR"...
};

struct ReadmeContents {
  std::string navigator;  // name and version; empty: not on the disc
  std::string viewer;     // name and version of the diagnostic viewer; empty: none
  bool windowsProgram = false;
  bool webPages = false;  // INDEX.HTM and IHE_PDI/
  std::string profile;    // the DICOMDIR's application profile
  DiscContents contents;
  // A disc of a set: "1/3", and one line for each of the other discs of the
  // set saying what it holds (describeContents of it, after its own number).
  std::string discNumber;
  std::vector<std::string> otherDiscs;
};

// What `plan` puts on a disc, with `reports` report files beside it.
DiscContents contentsOf(const DiscPlan &plan, int reports);

// "2 badania (CT, MR), 5 serii, 1200 obrazow, 1 opis" in ASCII.
std::string describeContents(const DiscContents &contents);

// The file's text, CR LF line ends, every byte printable ASCII.
std::string readmeText(const ReadmeContents &readme);

// Polish count with the noun's form for it: 1 badanie, 2 badania, 5 badan.
std::string counted(int count, const char *one, const char *few, const char *many);

}  // namespace makedisc
