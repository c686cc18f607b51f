// The patients, studies and series a DICOMDIR lists.
#include "dicomdir_listing.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcdirrec.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <glib.h>

#include <memory>

namespace {

std::string attribute(DcmDirectoryRecord *record, const DcmTagKey &tag) {
  OFString value;
  if (record->findAndGetOFStringArray(tag, value).bad()) return "";
  // The set's character set is not looked at; what is not UTF-8 is replaced.
  std::unique_ptr<gchar, decltype(&g_free)> valid(g_utf8_make_valid(value.c_str(), value.length()), g_free);
  return valid.get();
}

std::string orDash(const std::string &value) { return value.empty() ? "-" : value; }

// "20240131" as 2024-01-31; anything else stays as it is.
std::string readableDate(const std::string &date) {
  if (date.size() != 8) return orDash(date);
  return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
}

void listSeries(DcmDirectoryRecord *series, DicomdirListing &listing) {
  unsigned long images = 0;
  for (unsigned long i = 0; i < series->cardSub(); ++i)
    if (series->getSub(i)->getRecordType() != ERT_Private) ++images;
  listing.lines.push_back({2, "Seria " + orDash(attribute(series, DCM_SeriesNumber)) + ": " +
                                  orDash(attribute(series, DCM_Modality)) +
                                  ", obrazów: " + std::to_string(images)});
}

void listStudy(DcmDirectoryRecord *study, DicomdirListing &listing) {
  std::string description = attribute(study, DCM_StudyDescription);
  listing.lines.push_back({1, "Badanie " + readableDate(attribute(study, DCM_StudyDate)) +
                                  (description.empty() ? "" : " " + description)});
  for (unsigned long i = 0; i < study->cardSub(); ++i)
    if (study->getSub(i)->getRecordType() == ERT_Series) listSeries(study->getSub(i), listing);
}

}  // namespace

DicomdirListing readDicomdirListing(const std::string &path) {
  DicomdirListing listing;
  if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return listing;
  // Only read: nothing here changes the set, so it is never written back.
  DcmDicomDir dicomdir(OFFilename(path.c_str(), OFTrue));
  // DCMTK puts an empty directory in place of a file it could not load, so
  // only the file's own header tells a DICOMDIR.
  OFString storageClass;
  DcmMetaInfo *header = dicomdir.getDirFileFormat().getMetaInfo();
  if (dicomdir.error().bad() || header == nullptr ||
      header->findAndGetOFString(DCM_MediaStorageSOPClassUID, storageClass).bad() ||
      storageClass != UID_MediaStorageDirectoryStorage)
    return listing;
  listing.readable = true;
  DcmDirectoryRecord &root = dicomdir.getRootRecord();
  for (unsigned long p = 0; p < root.cardSub(); ++p) {
    DcmDirectoryRecord *patient = root.getSub(p);
    if (patient->getRecordType() != ERT_Patient) continue;
    listing.lines.push_back({0, "Pacjent " + orDash(attribute(patient, DCM_PatientName)) + " (ID " +
                                    orDash(attribute(patient, DCM_PatientID)) + ")"});
    for (unsigned long s = 0; s < patient->cardSub(); ++s)
      if (patient->getSub(s)->getRecordType() == ERT_Study) listStudy(patient->getSub(s), listing);
  }
  return listing;
}
