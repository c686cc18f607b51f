// Reads one DICOM file per series into the catalogue's attribute records.
#include "catalogue/study_metadata_reader.h"

#include "base/quit_request.h"
#include "base/text.h"
#include "catalogue/bounded_dicom_stream.h"
#include "catalogue/dicom_text.h"
#include "catalogue/directory_scan.h"
#include "catalogue/medium_failure.h"
#include "catalogue/reference_catalogue.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcistrmf.h>
#include <dcmtk/dcmdata/dcspchrs.h>
#include <dcmtk/oflog/oflog.h>

#include <glib.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Element values longer than this stay on the disc, as the pixel data do.
constexpr Uint32 kReadLength = 4096;

// DCMTK writes its own complaints about damaged files to standard error;
// reading the medium reports nothing, so they are held back for one reading.
class QuietDcmtkLog {
 public:
  QuietDcmtkLog() : logger_(OFLog::getLogger("dcmtk.dcmdata")), previous_(logger_.getLogLevel()) {
    logger_.setLogLevel(OFLogger::OFF_LOG_LEVEL);
  }
  ~QuietDcmtkLog() { logger_.setLogLevel(previous_); }
  QuietDcmtkLog(const QuietDcmtkLog &) = delete;
  QuietDcmtkLog &operator=(const QuietDcmtkLog &) = delete;

 private:
  OFLogger logger_;
  dcmtk::log4cplus::LogLevel previous_;
};

// Which field each attribute fills, in the order they are read.
struct AttributeField {
  DcmTagKey tag;
  std::string StudyMetadata::*field;
  const char *delimiters;
};

const AttributeField attributeFields[] = {
    {DCM_StudyDescription, &StudyMetadata::studyDescription, "\\"},
    {DCM_SeriesDescription, &StudyMetadata::seriesDescription, "\\"},
    {DCM_Modality, &StudyMetadata::modality, "\\"},
    {DCM_PatientName, &StudyMetadata::patientName, "\\^="},
    {DCM_PatientID, &StudyMetadata::patientId, "\\"},
    {DCM_StudyDate, &StudyMetadata::studyDate, "\\"},
};

// Limits of reading one file, whatever its nesting, length fields or
// compression. The toolkit's own limits come first: values above the read
// length are left in the file and parsing stops at the first element after
// Patient ID, the last of the six attributes in tag order. What the toolkit
// cannot be told is held by the stream it reads from.
const DcmTagKey kStopTag(0x0010, 0x0021);
// Bytes handed to the parser (for a deflated file these are inflated bytes,
// and a value of a deflated file is read whole whatever its length), and the
// reads, nesting and time of the parse.
const DicomReadLimits kRecordLimits{32 << 20, 300000, 256 * 1024, 2 * G_USEC_PER_SEC};

// Loads what the record needs from one file, as DcmFileFormat::loadFile would
// with automatic detection of the meta header and the transfer syntax.
bool loadBounded(DcmFileFormat &fileFormat, const std::string &path) {
  BoundedDicomStream stream(path.c_str(), kRecordLimits,
                            static_cast<const char *>(__builtin_frame_address(0)));
  if (stream.status().bad() || fileFormat.clear().bad()) return false;
  fileFormat.transferInit();
  OFCondition result = fileFormat.readUntilTag(stream, EXS_Unknown, EGL_noChange, kReadLength, kStopTag);
  fileFormat.transferEnd();
  // Reading stops at the first element past the six attributes: bytes that
  // are no DICOM at all stop it at once, with nothing read before.
  if (!stream.stopped() && result.good() && fileFormat.getDataset()->card() > 0) return true;
  fileFormat.clear();
  return false;
}

StudyMetadata recordOf(DcmDataset &dataset, DicomTextDecoder &decoder) {
  decoder.selectFor(dataset);
  StudyMetadata record;
  for (const AttributeField &attribute : attributeFields) {
    const char *value = nullptr;
    if (valueWithinLength(dataset, attribute.tag, kReadLength) &&
        dataset.findAndGetString(attribute.tag, value, OFFalse).good())
      record.*attribute.field = decoder.decode(value, attribute.delimiters);
  }
  return record;
}

// A series whose first file cannot be read takes its record from the next
// file of the same series that can; no more than this many are tried, as
// each may take its full time limit.
constexpr size_t kMostFilesTriedAfterTheFirst = 8;

// Loads the first readable file after `first` in its series folder; false when
// none of those tried can be read. Each one that cannot is reported.
bool loadAnotherOfTheSeries(DcmFileFormat &fileFormat, const std::string &first) {
  reportSkippedEntry(first, "nie można odczytać pliku DICOM");
  for (const std::string &path : laterDicomFiles(first, kMostFilesTriedAfterTheFirst)) {
    if (quitRequested()) return false;
    if (loadBounded(fileFormat, path)) return true;
    reportSkippedEntry(path, "nie można odczytać pliku DICOM");
  }
  return false;
}

}  // namespace

StudyMetadataMap readStudyMetadata(DicomFileMap files) {
  StudyMetadataMap studies;
  QuietDcmtkLog quiet;
  DcmFileFormat fileFormat;
  DicomTextDecoder decoder;
  for (const auto &[studyOrdinal, seriesFiles] : files) {
    SeriesMetadata series;
    for (const auto &[seriesOrdinal, paths] : seriesFiles) {
      if (paths.empty()) {
        series[seriesOrdinal] = {StudyMetadata()};
        continue;
      }
      if (quitRequested()) return studies;
      bool loaded = loadBounded(fileFormat, paths.front());
      if (!loaded) loaded = loadAnotherOfTheSeries(fileFormat, paths.front());
      if (quitRequested()) return studies;
      series[seriesOrdinal] = {loaded ? recordOf(*fileFormat.getDataset(), decoder) : StudyMetadata()};
    }
    studies[studyOrdinal] = std::move(series);
  }
  return studies;
}
