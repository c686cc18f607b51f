// Reading and decoding one image file with DCMTK: the header through a bounded
// stream, pixel values left in the file until a frame is decoded, and each
// frame through DicomImage with partial access, so a long multi-frame file is
// never decoded whole.
#include "imaging/dicom_image_file.h"

#include "base/text.h"
#include "catalogue/bounded_dicom_stream.h"
#include "catalogue/dicom_text.h"
#include "catalogue/picture_decoder.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcsequen.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmimage/diregist.h>  // colour images
#include <dcmtk/dcmimgle/dcmimage.h>

#include <algorithm>
#include <limits>

namespace {

// Values longer than this stay in the file until asked for: the pixel data
// above all, so that reading the header costs the header.
constexpr Uint32 kReadLength = 4096;
// A header takes at most this much; the pixel values of a deflated file are
// inflated with it, so this also bounds a deflate bomb.
const DicomReadLimits kImageLimits{512 << 20, 2000000, 256 * 1024, 2 * G_USEC_PER_SEC};
constexpr unsigned long kLongestText = 1024;

bool loadBounded(DcmFileFormat &file, const std::string &path, std::string &problem,
                 Uint32 readLength = kReadLength) {
  BoundedDicomStream stream(path.c_str(), kImageLimits,
                            static_cast<const char *>(__builtin_frame_address(0)));
  if (stream.status().bad()) {
    problem = "nie można otworzyć pliku";
    return false;
  }
  file.clear();
  file.transferInit();
  OFCondition result = file.read(stream, EXS_Unknown, EGL_noChange, readLength);
  file.transferEnd();
  if (stream.stopped()) {
    problem = "plik przekracza granice odczytu (rozmiar, zagnieżdżenie lub czas)";
    return false;
  }
  if (result.bad() || file.getDataset()->card() == 0) {
    problem = "to nie jest poprawny plik DICOM";
    return false;
  }
  return true;
}

std::string textOf(DcmDataset &dataset, const DcmTagKey &tag, DicomTextDecoder &decoder,
                   const char *delimiters = "\\") {
  const char *value = nullptr;
  if (!valueWithinLength(dataset, tag, kLongestText) || dataset.findAndGetString(tag, value).bad()) return {};
  return decoder.decode(value, delimiters);
}

template <size_t N>
std::optional<std::array<double, N>> numbersOf(DcmDataset &dataset, const DcmTagKey &tag) {
  std::array<double, N> values{};
  if (!valueWithinLength(dataset, tag, kLongestText)) return std::nullopt;
  for (size_t i = 0; i < N; ++i)
    if (dataset.findAndGetFloat64(tag, values[i], static_cast<unsigned long>(i)).bad()) return std::nullopt;
  return values;
}

std::optional<double> numberOf(DcmDataset &dataset, const DcmTagKey &tag) {
  auto value = numbersOf<1>(dataset, tag);
  return value ? std::optional<double>((*value)[0]) : std::nullopt;
}

std::optional<VoiLut> voiLutOf(DcmDataset &dataset, bool signedValues) {
  DcmItem *item = nullptr;
  if (dataset.findAndGetSequenceItem(DCM_VOILUTSequence, item, 0).bad() || item == nullptr)
    return std::nullopt;
  Uint16 count = 0, first = 0, bits = 0;
  if (item->findAndGetUint16(DCM_LUTDescriptor, count, 0).bad() ||
      item->findAndGetUint16(DCM_LUTDescriptor, first, 1).bad() ||
      item->findAndGetUint16(DCM_LUTDescriptor, bits, 2).bad())
    return std::nullopt;
  const Uint16 *data = nullptr;
  unsigned long length = 0;
  if (item->findAndGetUint16Array(DCM_LUTData, data, &length).bad() || data == nullptr) return std::nullopt;
  const unsigned long entries = count == 0 ? 65536 : count;
  if (length < entries || bits < 1 || bits > 16) return std::nullopt;
  VoiLut lut;
  lut.firstMapped = signedValues ? static_cast<int16_t>(first) : first;
  lut.bits = bits;
  lut.data.assign(data, data + entries);
  return lut;
}

bool readAttributes(DcmDataset &dataset, ImageAttributes &a, std::string &problem) {
  DicomTextDecoder decoder;
  decoder.selectFor(dataset);
  a.sopInstanceUid = textOf(dataset, DCM_SOPInstanceUID, decoder);
  a.seriesUid = textOf(dataset, DCM_SeriesInstanceUID, decoder);
  a.studyUid = textOf(dataset, DCM_StudyInstanceUID, decoder);
  a.patientName = textOf(dataset, DCM_PatientName, decoder, "\\^=");
  a.patientId = textOf(dataset, DCM_PatientID, decoder);
  a.birthDate = textOf(dataset, DCM_PatientBirthDate, decoder);
  a.studyDate = textOf(dataset, DCM_StudyDate, decoder);
  a.studyDescription = textOf(dataset, DCM_StudyDescription, decoder);
  a.seriesDescription = textOf(dataset, DCM_SeriesDescription, decoder);
  a.institution = textOf(dataset, DCM_InstitutionName, decoder);
  a.modality = textOf(dataset, DCM_Modality, decoder);
  Sint32 number = 0;
  if (dataset.findAndGetSint32(DCM_SeriesNumber, number).good()) a.seriesNumber = number;
  if (dataset.findAndGetSint32(DCM_InstanceNumber, number).good()) a.instanceNumber = number;

  Uint16 rows = 0, columns = 0, samples = 1, allocated = 0, stored = 0, representation = 0;
  if (dataset.findAndGetUint16(DCM_Rows, rows).bad() ||
      dataset.findAndGetUint16(DCM_Columns, columns).bad()) {
    problem = "plik nie zawiera obrazu";
    return false;
  }
  dataset.findAndGetUint16(DCM_SamplesPerPixel, samples);
  dataset.findAndGetUint16(DCM_BitsAllocated, allocated);
  dataset.findAndGetUint16(DCM_BitsStored, stored);
  dataset.findAndGetUint16(DCM_PixelRepresentation, representation);
  Sint32 frames = 1;
  if (dataset.findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
  a.rows = rows;
  a.columns = columns;
  a.frames = frames;
  a.samplesPerPixel = samples;
  a.bitsAllocated = allocated;
  a.bitsStored = stored != 0 ? stored : allocated;
  a.isSigned = representation == 1;
  OFString photometric;
  dataset.findAndGetOFString(DCM_PhotometricInterpretation, photometric);
  a.photometric = photometric.c_str();
  if (auto slope = numberOf(dataset, DCM_RescaleSlope)) {
    a.hasRescale = true;
    if (*slope != 0) a.slope = *slope;
  }
  if (auto intercept = numberOf(dataset, DCM_RescaleIntercept)) {
    a.hasRescale = true;
    a.intercept = *intercept;
  }
  for (unsigned long i = 0; i < 16; ++i) {
    Float64 centre = 0, width = 0;
    if (dataset.findAndGetFloat64(DCM_WindowCenter, centre, i).bad() ||
        dataset.findAndGetFloat64(DCM_WindowWidth, width, i).bad())
      break;
    if (width >= 1) a.windows.push_back({centre, width});
  }
  a.voiLut = voiLutOf(dataset, a.isSigned);
  a.sliceLocation = numberOf(dataset, DCM_SliceLocation);
  a.sliceThickness = numberOf(dataset, DCM_SliceThickness);
  a.orientation = numbersOf<6>(dataset, DCM_ImageOrientationPatient);
  a.position = numbersOf<3>(dataset, DCM_ImagePositionPatient);

  if (!pictureSizeWithinLimits(a.columns, a.rows)) {
    problem = "obraz " + std::to_string(a.columns) + " × " + std::to_string(a.rows) + " jest zbyt duży";
    return false;
  }
  if (a.frames > kMostFramesPerFile) {
    problem = "plik deklaruje zbyt wiele klatek (" + std::to_string(a.frames) + ")";
    return false;
  }
  if ((a.bitsAllocated != 8 && a.bitsAllocated != 16) || a.bitsStored < 1 || a.bitsStored > a.bitsAllocated ||
      (a.samplesPerPixel != 1 && a.samplesPerPixel != 3)) {
    problem = "obraz o budowie pikseli, której ta przeglądarka nie obsługuje (" +
              std::to_string(a.bitsAllocated) + " bitów, " + std::to_string(a.samplesPerPixel) + " składowe)";
    return false;
  }
  DcmElement *pixels = nullptr;
  if (dataset.findAndGetElement(DCM_PixelData, pixels).bad() || pixels == nullptr) {
    problem = "plik nie zawiera danych obrazu";
    return false;
  }
  DcmXfer syntax(dataset.getOriginalXfer());
  if (!syntax.isEncapsulated()) {
    const unsigned long long needed = static_cast<unsigned long long>(a.rows) * a.columns *
                                      a.samplesPerPixel * (a.bitsAllocated / 8) *
                                      static_cast<unsigned long long>(a.frames);
    if (pixels->getLength() < needed) {
      problem = "dane obrazu są krótsze, niż podaje nagłówek (" + std::to_string(pixels->getLength()) +
                " z " + std::to_string(needed) + " bajtów)";
      return false;
    }
  }
  return true;
}

template <typename T>
void copyValues(const void *data, size_t count, DecodedFrame &frame) {
  const T *values = static_cast<const T *>(data);
  frame.stored.resize(count);
  int32_t low = std::numeric_limits<int32_t>::max(), high = std::numeric_limits<int32_t>::min();
  for (size_t i = 0; i < count; ++i) {
    const int32_t value = static_cast<int32_t>(values[i]);
    frame.stored[i] = value;
    low = std::min(low, value);
    high = std::max(high, value);
  }
  frame.minStored = count > 0 ? low : 0;
  frame.maxStored = count > 0 ? high : 0;
}

// The problem may quote the file's own bytes (its photometric interpretation),
// which need not be text at all; the list shows it as UTF-8.
DecodedFrame failedFrame(const std::string &problem) {
  DecodedFrame frame;
  frame.problem = makeValidUtf8(problem);
  return frame;
}

}  // namespace

bool readImageAttributes(const std::string &path, ImageAttributes &attributes, std::string &problem) {
  DcmFileFormat file;
  attributes = ImageAttributes();
  return loadBounded(file, path, problem) && readAttributes(*file.getDataset(), attributes, problem);
}

DecodedFrame decodeImageFrame(const std::string &path, long frameNumber) {
  DcmFileFormat file;
  DecodedFrame frame;
  std::string problem;
  if (!loadBounded(file, path, problem) || !readAttributes(*file.getDataset(), frame.attributes, problem))
    return failedFrame(problem);
  // A deflated file cannot be read from the middle: it is read again with
  // every value, within the byte limit that holds a deflate bomb.
  if (file.getDataset()->getOriginalXfer() == EXS_DeflatedLittleEndianExplicit &&
      !loadBounded(file, path, problem, 0xFFFFFFFE))
    return failedFrame(problem);
  const ImageAttributes &a = frame.attributes;
  if (frameNumber < 0 || frameNumber >= a.frames)
    return failedFrame("nie ma klatki " + std::to_string(frameNumber + 1));
  if (!a.monochrome() && a.samplesPerPixel == 1 && a.photometric != "PALETTE COLOR")
    return failedFrame("nieobsługiwana interpretacja fotometryczna „" + a.photometric + "”");
  const bool grey = a.monochrome();
  DcmDataset *dataset = file.getDataset();
  // A deflated file's values were inflated into memory as it was read: there
  // is no place in the file to read one frame from.
  unsigned long flags =
      dataset->getOriginalXfer() == EXS_DeflatedLittleEndianExplicit ? 0 : CIF_UsePartialAccessToPixelData;
  if (grey) flags |= CIF_IgnoreModalityTransformation;
  const E_TransferSyntax syntax = dataset->getOriginalXfer() == EXS_DeflatedLittleEndianExplicit
                                      ? EXS_LittleEndianExplicit
                                      : dataset->getOriginalXfer();
  DicomImage image(dataset, syntax, flags, static_cast<unsigned long>(frameNumber), 1);
  if (image.getStatus() != EIS_Normal) {
    DcmXfer syntax(dataset->getOriginalXfer());
    return failedFrame(std::string("nie można zdekodować obrazu (") + syntax.getXferName() + ")");
  }
  frame.width = static_cast<int>(image.getWidth());
  frame.height = static_cast<int>(image.getHeight());
  const size_t count = static_cast<size_t>(frame.width) * frame.height;
  if (grey) {
    const DiPixel *inter = image.getInterData();
    if (inter == nullptr || inter->getData() == nullptr || inter->getCount() < count)
      return failedFrame("nie można zdekodować obrazu");
    switch (inter->getRepresentation()) {
      case EPR_Uint8:
        copyValues<Uint8>(inter->getData(), count, frame);
        break;
      case EPR_Sint8:
        copyValues<Sint8>(inter->getData(), count, frame);
        break;
      case EPR_Uint16:
        copyValues<Uint16>(inter->getData(), count, frame);
        break;
      case EPR_Sint16:
        copyValues<Sint16>(inter->getData(), count, frame);
        break;
      default:
        return failedFrame("obraz o głębi ponad 16 bitów");
    }
  } else {
    frame.colour = true;
    const void *rgb = image.getOutputData(8, 0, 0);
    if (rgb == nullptr) return failedFrame("nie można zdekodować obrazu barwnego");
    const auto *bytes = static_cast<const uint8_t *>(rgb);
    frame.rgb.assign(bytes, bytes + count * 3);
  }
  return frame;
}
