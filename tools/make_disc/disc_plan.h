// Where every file of an export goes on the disc: one patient, studies by
// date and time, series by number, instances by number, and the REFIMG
// folders that pair with the DICOM folders by position.
#pragma once

#include "export_reading.h"

#include <string>
#include <vector>

namespace makedisc {

// One patient of an export, as refusal messages and --patient see it.
struct ExportPatient {
  std::string id;    // Patient ID as stored
  std::string name;  // readable (UTF-8)
  int files = 0;
  std::string key;  // patientKey of its files
};

// The patients of `files`, in order of first appearance; files are told apart
// by Patient ID, or by name when they have no ID.
std::vector<ExportPatient> patientsOf(const std::vector<ExportFile> &files);

// The key patientsOf groups by.
std::string patientKey(const ExportFile &file);

struct PlannedInstance {
  const ExportFile *file = nullptr;
  std::string dicomPath;  // relative to the disc root, "DICOM/ST000001/SE000001/IM000001"
  int firstPicture = 0;   // number of the picture of its first frame in the REFIMG series (from 1)
};

struct PlannedSeries {
  std::string dicomFolder;   // "DICOM/ST000001/SE000001"
  std::string refimgFolder;  // "REFIMG/ST000001/SE000001"; empty for objects without pixels
  std::vector<PlannedInstance> instances;
};

struct PlannedStudy {
  std::vector<PlannedSeries> series;  // series with images first, in REFIMG's order
};

struct DiscPlan {
  std::vector<PlannedStudy> studies;    // studies with images first, in REFIMG's order
  std::vector<std::string> duplicates;  // files left out: an instance already on the disc
};

// Lays out the files of one patient. Objects without pixel data (reports,
// presentation states, documents) go into series folders after every image
// series of their study, and a study without any image after every study with
// one, so that the n-th REFIMG study and series are the n-th DICOM ones.
// Ties in dates and numbers are broken by UID, and a missing number sorts last.
DiscPlan planDisc(const std::vector<const ExportFile *> &files);

}  // namespace makedisc
