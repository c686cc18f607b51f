// DICOM files of the sample medium: one image file per picture and the
// DICOMDIR that lists them all.
#pragma once

#include "examination_plan.h"
#include "phantom.h"

#include <string>
#include <vector>

namespace samplemedium {

// The bytes of a UTF-8 text as stored under a Specific Character Set:
// unchanged for "ISO_IR 192", converted to ISO 8859-2 for "ISO_IR 101".
std::string encodeForCharacterSet(const std::string &utf8, const std::string &characterSet);

// Writes picture `index` of a series as a DICOM file with file meta header,
// Explicit VR Little Endian. May run on any thread.
bool writeDicomImage(const std::string &path, const Patient &patient, const StudyPlan &study,
                     const SeriesPlan &series, int index, const Picture &picture, std::string *error);

// Writes `root`/DICOMDIR (general-purpose CD-R profile) listing the files,
// given relative to `root` with "/" separators.
bool writeDicomDir(const std::string &root, const std::vector<std::string> &files, std::string *error);

}  // namespace samplemedium
