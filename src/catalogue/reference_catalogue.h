// The process-wide indexes of the reference-image catalogue: the DICOM files
// and attribute records of the medium's studies and series, and the browser's
// thumbnails. Main thread only (the cine frames read them under the toolkit's lock).
#pragma once

#include "catalogue/study_metadata.h"

#include <gtk/gtk.h>

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

// Study index -> series index -> the series' thumbnail image widgets in load order.
using SeriesThumbnails = std::map<int, std::vector<GtkWidget *>>;
using ThumbnailMap = std::map<int, SeriesThumbnails>;

// Filled by scanDicomTree when empty (the browser build and the chooser).
extern DicomFileMap DicomFileIndex;
// Filled by readStudyMetadata when empty (the browser build and the chooser).
extern StudyMetadataMap StudyMetadataIndex;
// Filled by a successful browser build; never rebuilt once non-empty.
extern ThumbnailMap ThumbnailIndex;
// Picture files under REFIMG, recounted at every build; the progress denominator.
extern int totalImageCount;
// Entries loaded so far in the build; the progress numerator.
extern int loadedImageCount;
// Lowered when a thumbnail cannot be read; the tree build then ends empty.
extern bool mediumReadable;
