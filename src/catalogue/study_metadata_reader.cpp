// Reads one DICOM file per series into the catalogue's attribute records.
#include "catalogue/study_metadata_reader.h"

#include "base/text.h"
#include "catalogue/reference_catalogue.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcspchrs.h>
#include <dcmtk/oflog/oflog.h>

#include <cstring>

namespace {

// Turns the values of one file after another into UTF-8 from the file's
// Specific Character Set. The conversion of the last set used is kept, since
// the files of one medium nearly always share it.
class Utf8Decoder {
 public:
  // Takes the character set of the next file's dataset.
  void selectFor(DcmDataset &dataset) {
    OFString characterSet;
    dataset.findAndGetOFStringArray(DCM_SpecificCharacterSet, characterSet);
    if (chosen_ && characterSet == selected_) return;
    chosen_ = true;
    selected_ = characterSet;
    passThrough_ = characterSet.empty() || characterSet == "ISO_IR 6" || characterSet == "ISO_IR 192";
    usable_ = !passThrough_ && converter_.selectCharacterSet(characterSet).good();
  }

  // `value` in UTF-8; bytes the declared set does not explain (or an
  // undeclared or unknown set) are replaced, the rest of the value kept.
  std::string decode(const char *value, const char *delimiters) {
    if (value == nullptr) return std::string();
    size_t length = std::strlen(value);
    if (passThrough_ || !usable_ || isPlainAscii(value, length))
      return makeValidUtf8(std::string(value, length));
    OFString converted;
    if (converter_.convertString(value, length, converted, delimiters).good())
      return makeValidUtf8(std::string(converted.c_str(), converted.length()));
    return makeValidUtf8(std::string(value, length));
  }

 private:
  // Plain ASCII reads the same in every set, unless an escape sequence switches sets.
  static bool isPlainAscii(const char *value, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      unsigned char byte = static_cast<unsigned char>(value[i]);
      if (byte >= 0x80 || byte == 0x1B) return false;
    }
    return true;
  }

  DcmSpecificCharacterSet converter_;
  OFString selected_;
  bool chosen_ = false;
  bool passThrough_ = true;
  bool usable_ = false;
};

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

// Element values longer than this stay on the disc, as the pixel data do.
constexpr Uint32 kReadLength = 4096;

// Whether the attribute's value is short enough to be read. The toolkit would
// fetch a longer one from the file when asked for it; none of the record's
// attributes is that long, and megabytes of a damaged or hostile file would
// make every label and line that shows the record crawl.
bool withinReadLength(DcmDataset &dataset, const DcmTagKey &tag) {
  DcmElement *element = nullptr;
  return dataset.findAndGetElement(tag, element, OFFalse).good() && element->getLength() <= kReadLength;
}

StudyMetadata recordOf(DcmDataset &dataset, Utf8Decoder &decoder) {
  decoder.selectFor(dataset);
  StudyMetadata record;
  for (const AttributeField &attribute : attributeFields) {
    const char *value = nullptr;
    if (withinReadLength(dataset, attribute.tag) &&
        dataset.findAndGetString(attribute.tag, value, OFFalse).good())
      record.*attribute.field = decoder.decode(value, attribute.delimiters);
  }
  return record;
}

}  // namespace

StudyMetadataMap readStudyMetadata(DicomFileMap files) {
  StudyMetadataMap studies;
  QuietDcmtkLog quiet;
  DcmFileFormat fileFormat;
  Utf8Decoder decoder;
  for (const auto &[studyOrdinal, seriesFiles] : files) {
    SeriesMetadata series;
    for (const auto &[seriesOrdinal, paths] : seriesFiles) {
      if (paths.empty()) {
        series[seriesOrdinal] = {StudyMetadata()};
        continue;
      }
      if (fileFormat.loadFile(paths.front().c_str(), EXS_Unknown, EGL_noChange, kReadLength, ERM_autoDetect)
              .bad())
        return studies;
      series[seriesOrdinal] = {recordOf(*fileFormat.getDataset(), decoder)};
    }
    studies[studyOrdinal] = std::move(series);
  }
  return studies;
}
