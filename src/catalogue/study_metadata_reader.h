// Reads one DICOM file per series into the catalogue's attribute records.
// Main thread only.
#pragma once

#include "catalogue/reference_catalogue.h"

// One record per series of `files`, in the same keys, read from the first path
// of each list (opened relative to the current directory). A series without a
// path gets a record of empty fields. A file that cannot be loaded is reported
// on the trace and standard error, and its series takes its record from the
// next file of its folder that can (of the eight after it), or empty fields.
// A request to end the program ends the reading: the result then holds the
// studies completed before it. Every field is
// valid UTF-8; a value longer than the read length of 4096 bytes is not read
// and leaves its field empty.
StudyMetadataMap readStudyMetadata(DicomFileMap files);
