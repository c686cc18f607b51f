// The disc's DICOMDIR, made with DCMTK's DICOMDIR support under the
// application profile that fits the transfer syntaxes on the disc.
#pragma once

#include <functional>
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
  bool keys = false;  // every value DCMTK would otherwise invent is there
};

// Writes `root`/DICOMDIR referencing `files`. A file DCMTK refuses to
// reference is left out and named in `refused`; false only when the DICOMDIR
// itself cannot be made. `ready` (when given) is called before files[i] is
// read and may wait until it exists; false from it gives up.
bool writeDicomDirectory(const std::string &root, const std::vector<DirectoryFile> &files,
                         const DirectoryProfile &profile, const std::string &filesetId,
                         std::vector<std::string> *refused, std::string *error,
                         const std::function<bool(size_t)> &ready = nullptr);

}  // namespace makedisc
