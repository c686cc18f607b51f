// Reads one DICOM file per series into the catalogue's attribute records.
#include "catalogue/study_metadata_reader.h"

#include "base/quit_request.h"
#include "base/text.h"
#include "catalogue/dicom_text.h"
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

// Whether the attribute's value is short enough to be read. The toolkit would
// fetch a longer one from the file when asked for it; none of the record's
// attributes is that long, and megabytes of a damaged or hostile file would
// make every label and line that shows the record crawl.
bool withinReadLength(DcmDataset &dataset, const DcmTagKey &tag) {
  DcmElement *element = nullptr;
  return dataset.findAndGetElement(tag, element, OFFalse).good() && element->getLength() <= kReadLength;
}

// Turns the values of one file after another into UTF-8 from the file's
// Specific Character Set. The conversion of the last set used is kept, since
// the files of one medium nearly always share it.
class Utf8Decoder {
 public:
  // Takes the character set of the next file's dataset.
  void selectFor(DcmDataset &dataset) {
    OFString characterSet;
    if (withinReadLength(dataset, DCM_SpecificCharacterSet))
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
    if (passThrough_ || isPlainAscii(value, length)) return makeValidUtf8(std::string(value, length));
    OFString converted;
    if (usable_ && converter_.convertString(value, length, converted, delimiters).good())
      return makeValidUtf8(std::string(converted.c_str(), converted.length()));
    // The toolkit's converter may refuse a set the standard defines (those
    // with ISO 2022 code extensions above all): the C library converts it.
    if (std::optional<std::string> decoded = decodeDicomText(
            std::string(selected_.c_str(), selected_.length()), std::string(value, length), delimiters))
      return makeValidUtf8(*decoded);
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

// Limits of reading one file, whatever its nesting, length fields or
// compression. The toolkit's own limits come first: values above the read
// length are left in the file and parsing stops at the first element after
// Patient ID, the last of the six attributes in tag order. What the toolkit
// cannot be told is held by the stream it reads from.
const DcmTagKey kStopTag(0x0010, 0x0021);
// Bytes handed to the parser; for a deflated file these are inflated bytes,
// and a value of a deflated file is read whole whatever its length.
constexpr offile_off_t kMaxBytesPerFile = 32 << 20;
// Every element costs the parser at least two reads (tag, then length), so
// this bounds the elements it builds, and the memory they take.
constexpr unsigned long kMaxReadsPerFile = 300000;
// The parser recurses once per nested sequence and item; the stack it has
// used since the file was opened stands for the nesting depth (some 200
// levels in a release build; real files nest a handful).
constexpr std::ptrdiff_t kMaxStackGrowth = 256 * 1024;
constexpr gint64 kMaxMicrosecondsPerFile = 2 * G_USEC_PER_SEC;

// The file stream the parser reads from, which stops handing out bytes (end
// of stream and a bad status, so the parser unwinds at once) when a limit is
// passed or the program is asked to end.
class BoundedFileStream : public DcmInputFileStream {
 public:
  BoundedFileStream(const char *path, const char *stackBase)
      // Converted from UTF-8: on Windows the file is opened by its wide name.
      : DcmInputFileStream(OFFilename(path, OFTrue)),
        stackBase_(stackBase),
        deadline_(g_get_monotonic_time() + kMaxMicrosecondsPerFile) {}

  // Whether a limit was passed: the file counts as unreadable.
  bool stopped() const { return stopped_; }

  OFBool good() const override { return !stopped_ && DcmInputFileStream::good(); }
  OFCondition status() const override { return stopped_ ? EC_InvalidStream : DcmInputFileStream::status(); }
  OFBool eos() override { return stopped_ || DcmInputFileStream::eos(); }
  offile_off_t avail() override { return stopped_ ? 0 : DcmInputFileStream::avail(); }

  offile_off_t read(void *buffer, offile_off_t length) override {
    if (!withinLimits()) return 0;
    offile_off_t allowed = std::min(length, kMaxBytesPerFile - bytes_);
    offile_off_t got = DcmInputFileStream::read(buffer, allowed);
    bytes_ += got;
    if (got < length && bytes_ >= kMaxBytesPerFile) stopped_ = true;
    return got;
  }

  // Values above the read length are skipped, in a deflated file too, where
  // the toolkit would otherwise load them whole whatever their length. Such a
  // value is never fetched later (withinReadLength); should the toolkit ask,
  // it finds it empty.
  DcmInputStreamFactory *newFactory() const override {
    DcmInputStreamFactory *factory = DcmInputFileStream::newFactory();
    return factory != nullptr ? factory : new DcmInputFileStreamFactory("/dev/null", 0);
  }

  // In pieces: skipping in a deflated file inflates everything skipped.
  offile_off_t skip(offile_off_t length) override {
    offile_off_t skipped = 0;
    while (skipped < length && withinLimits()) {
      offile_off_t piece = DcmInputFileStream::skip(std::min<offile_off_t>(length - skipped, 1 << 20));
      if (piece <= 0) break;
      skipped += piece;
    }
    return skipped;
  }

 private:
  bool withinLimits() {
    const char *stack = static_cast<const char *>(__builtin_frame_address(0));
    if (!stopped_ && (++reads_ > kMaxReadsPerFile || stackBase_ - stack > kMaxStackGrowth ||
                      g_get_monotonic_time() > deadline_ || quitRequested()))
      stopped_ = true;
    return !stopped_;
  }

  const char *stackBase_;
  gint64 deadline_;
  offile_off_t bytes_ = 0;
  unsigned long reads_ = 0;
  bool stopped_ = false;
};

// Loads what the record needs from one file, as DcmFileFormat::loadFile would
// with automatic detection of the meta header and the transfer syntax.
bool loadBounded(DcmFileFormat &fileFormat, const std::string &path) {
  BoundedFileStream stream(path.c_str(), static_cast<const char *>(__builtin_frame_address(0)));
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
      if (quitRequested() || !loadBounded(fileFormat, paths.front())) return studies;
      series[seriesOrdinal] = {recordOf(*fileFormat.getDataset(), decoder)};
    }
    studies[studyOrdinal] = std::move(series);
  }
  return studies;
}
