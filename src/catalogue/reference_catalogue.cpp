// The process-wide indexes of the reference-image catalogue.
#include "catalogue/reference_catalogue.h"

DicomFileMap DicomFileIndex;
StudyMetadataMap StudyMetadataIndex;
