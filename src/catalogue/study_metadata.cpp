// The attribute record read from one DICOM file per series.
#include "catalogue/study_metadata.h"

std::string examinationText(const StudyMetadata &record) {
  return "PACJENT:" + record.patientName + "\nPESEL: " + record.patientId +
         "\nMODALNOŚĆ: " + record.modality + "\nDATA BADANIA: " + record.studyDate +
         "\nOPIS BADANIA: " + record.studyDescription;
}
