// The process-wide indexes of the reference-image catalogue: the DICOM files
// and attribute records of the medium's studies and series. Main thread only.
#pragma once

#include "catalogue/study_metadata.h"

#include <map>
#include <string>
#include <vector>

// Study ordinal -> series ordinal -> zero or one relative DICOM file path
// ("DICOM/ST000001/SE000001/IM000001").
using DicomSeriesFiles = std::map<int, std::vector<std::string>>;
using DicomFileMap = std::map<int, DicomSeriesFiles>;

// Study ordinal -> series ordinal -> exactly one attribute record.
using SeriesMetadata = std::map<int, std::vector<StudyMetadata>>;
using StudyMetadataMap = std::map<int, SeriesMetadata>;

// Filled by scanDicomTree when empty (the browser build and the chooser).
extern DicomFileMap DicomFileIndex;
// Filled by readStudyMetadata when empty (the browser build and the chooser).
extern StudyMetadataMap StudyMetadataIndex;
