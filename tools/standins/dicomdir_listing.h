// The patients, studies and series a DICOMDIR lists, as lines of a tree.
#pragma once

#include <string>
#include <vector>

struct DicomdirLine {
  int depth;         // 0 patient, 1 study, 2 series
  std::string text;  // UTF-8
};

struct DicomdirListing {
  bool readable = false;
  std::vector<DicomdirLine> lines;
};

// Reads the DICOMDIR at `path`; `readable` is false when it is missing or not a DICOMDIR.
DicomdirListing readDicomdirListing(const std::string &path);
