// The attribute record read from one DICOM file per series.
#pragma once

#include <string>

struct StudyMetadata {
  std::string patientName;
  std::string patientId;
  std::string modality;
  std::string studyDate;
  std::string studyDescription;
  std::string seriesDescription;
};

// The examination text of tooltips, one field per line, no final line break:
// "PACJENT:" + name, "PESEL: " + id, "MODALNOŚĆ: " + modality,
// "DATA BADANIA: " + date, "OPIS BADANIA: " + study description.
std::string examinationText(const StudyMetadata &record);
