// Small DICOM files written with DCMTK for tests of the catalogue and its users.
#pragma once

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcxfer.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Attributes of a fixture file, each value given as the bytes to store.
using DicomValues = std::vector<std::pair<DcmTagKey, std::string>>;

struct DicomEncoding {
  E_TransferSyntax syntax = EXS_LittleEndianExplicit;
  bool withMetaHeader = true;
  // Side of the square 16-bit pixel data; 0 writes no pixel data.
  int pixelSide = 8;
};

// Writes a CT image file (and its folders) carrying `values` besides the UIDs
// and image attributes every such file has. False when DCMTK cannot write it.
bool writeDicomFile(const std::string &path, const DicomValues &values, const DicomEncoding &encoding = {});

// `utf8` in ISO 8859-1 or ISO 8859-2 bytes ("ISO-8859-2"), as older equipment stores names.
std::string encodeAs(const std::string &utf8, const char *charset);

}  // namespace testsupport
