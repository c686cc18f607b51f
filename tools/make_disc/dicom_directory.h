// The disc's DICOMDIR, made with DCMTK's DICOMDIR support under the
// application profile that fits the transfer syntaxes on the disc.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace makedisc {

struct DirectoryProfile {
  int profile = 0;  // DicomDirInterface::E_ApplicationProfile
  std::string name;
  bool transferSyntaxCheck = true;  // false: relaxed, DCMTK warns instead of refusing
};

// STD-GEN-CD for Explicit VR Little Endian alone; STD-GEN-DVD-JPEG when JPEG
// baseline, extended or lossless (first-order prediction) are added;
// STD-GEN-DVD-JPEG2000 for JPEG 2000; any other mix: STD-GEN-CD with DCMTK's
// transfer syntax check relaxed, since no general-purpose profile admits it.
DirectoryProfile chooseProfile(const std::set<std::string> &transferSyntaxes);

struct DirectoryFile {
  std::string path;  // relative to the disc root, "/" separators, DICOMDIR names
  bool metaHeader = true;
};

// Writes `root`/DICOMDIR referencing `files`. A file DCMTK refuses to
// reference is left out and named in `refused`; false only when the DICOMDIR
// itself cannot be made.
bool writeDicomDirectory(const std::string &root, const std::vector<DirectoryFile> &files,
                         const DirectoryProfile &profile, const std::string &filesetId,
                         std::vector<std::string> *refused, std::string *error);

}  // namespace makedisc
