// The process-wide indexes of the reference-image catalogue.
#include "catalogue/reference_catalogue.h"

DicomFileMap DicomFileIndex;
StudyMetadataMap StudyMetadataIndex;
ThumbnailMap ThumbnailIndex;
int totalImageCount = 0;
int loadedImageCount = 0;
bool mediumReadable = true;
