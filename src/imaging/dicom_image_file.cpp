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
#include <cmath>
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

// The first item of the LUT sequence `sequence`, when its descriptor and data
// agree. The first value mapped is signed where the values it maps are.
std::optional<LookupTable> lookupTableOf(DcmDataset &dataset, const DcmTagKey &sequence, bool signedValues) {
  DcmItem *item = nullptr;
  if (dataset.findAndGetSequenceItem(sequence, item, 0).bad() || item == nullptr) return std::nullopt;
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
  LookupTable lut;
  lut.firstMapped = signedValues ? static_cast<int16_t>(first) : first;
  lut.bits = bits;
  lut.data.assign(data, data + entries);
  return lut;
}

// Frame Time Vector gives the time from each frame to the next, the first
// value 0: its mean interval, when the values are in reach and make sense.
std::optional<double> meanFrameInterval(DcmDataset &dataset) {
  DcmElement *element = nullptr;
  if (!valueWithinLength(dataset, DCM_FrameTimeVector, 1 << 20) ||
      dataset.findAndGetElement(DCM_FrameTimeVector, element).bad() || element == nullptr)
    return std::nullopt;
  double sum = 0;
  unsigned long counted = 0;
  for (unsigned long i = 0; i < element->getVM(); ++i) {
    Float64 interval = 0;
    if (element->getFloat64(interval, i).good() && interval > 0) sum += interval, ++counted;
  }
  return counted > 0 ? std::optional<double>(sum / counted) : std::nullopt;
}

// A whole number (IS) as DCMTK gives it, which it will not as a decimal.
std::optional<double> wholeNumberOf(DcmDataset &dataset, const DcmTagKey &tag) {
  Sint32 value = 0;
  return dataset.findAndGetSint32(tag, value).good() ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> framesPerSecondOf(DcmDataset &dataset) {
  auto positive = [](std::optional<double> value) { return value && *value > 0 ? value : std::nullopt; };
  std::optional<double> interval = positive(numberOf(dataset, DCM_FrameTime));
  if (!interval) interval = meanFrameInterval(dataset);
  if (interval) return 1000 / *interval;
  if (auto rate = positive(wholeNumberOf(dataset, DCM_RecommendedDisplayFrameRate))) return rate;
  return positive(wholeNumberOf(dataset, DCM_CineRate));
}

bool readAttributes(DcmDataset &dataset, ImageAttributes &a, std::string &problem) {
  DicomTextDecoder decoder;
  decoder.selectFor(dataset);
  a.sopInstanceUid = textOf(dataset, DCM_SOPInstanceUID, decoder);
  a.seriesUid = textOf(dataset, DCM_SeriesInstanceUID, decoder);
  a.studyUid = textOf(dataset, DCM_StudyInstanceUID, decoder);
  a.frameOfReferenceUid = textOf(dataset, DCM_FrameOfReferenceUID, decoder);
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
  Uint16 highBit = 0;
  const bool highBitGiven = dataset.findAndGetUint16(DCM_HighBit, highBit).good();
  dataset.findAndGetUint16(DCM_PixelRepresentation, representation);
  Sint32 frames = 1;
  if (dataset.findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
  a.rows = rows;
  a.columns = columns;
  a.frames = frames;
  a.samplesPerPixel = samples;
  a.bitsAllocated = allocated;
  a.bitsStored = stored != 0 ? stored : allocated;
  a.highBit = highBitGiven ? highBit : a.bitsStored - 1;
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
  a.modalityLut = lookupTableOf(dataset, DCM_ModalityLUTSequence, a.isSigned);
  // A VOI LUT maps modality values: those of a Modality LUT are never signed.
  a.voiLut = lookupTableOf(dataset, DCM_VOILUTSequence, a.isSigned && !a.modalityLut);
  a.sliceLocation = numberOf(dataset, DCM_SliceLocation);
  a.sliceThickness = numberOf(dataset, DCM_SliceThickness);
  a.orientation = numbersOf<6>(dataset, DCM_ImageOrientationPatient);
  a.position = numbersOf<3>(dataset, DCM_ImagePositionPatient);
  a.framesPerSecond = framesPerSecondOf(dataset);
  a.pixelSpacing = numbersOf<2>(dataset, DCM_PixelSpacing);
  a.imagerPixelSpacing = numbersOf<2>(dataset, DCM_ImagerPixelSpacing);

  if (!pictureSizeWithinLimits(a.columns, a.rows)) {
    problem = "obraz " + std::to_string(a.columns) + " × " + std::to_string(a.rows) + " jest zbyt duży";
    return false;
  }
  if (a.frames > kMostFramesPerFile) {
    problem = "plik deklaruje zbyt wiele klatek (" + std::to_string(a.frames) + ")";
    return false;
  }
  const bool depthShown =
      a.bitsAllocated == 8 || a.bitsAllocated == 16 || (a.bitsAllocated == 32 && a.samplesPerPixel == 1);
  if (!depthShown || a.bitsStored < 1 || a.bitsStored > a.bitsAllocated ||
      (a.samplesPerPixel != 1 && a.samplesPerPixel != 3)) {
    problem = "obraz o budowie pikseli, której ta przeglądarka nie obsługuje (bity na próbkę: " +
              std::to_string(a.bitsAllocated) + ", zapisane: " + std::to_string(a.bitsStored) +
              ", próbki na piksel: " + std::to_string(a.samplesPerPixel) + ")";
    return false;
  }
  DcmElement *pixels = nullptr;
  if (dataset.findAndGetElement(DCM_PixelData, pixels).bad() || pixels == nullptr) {
    problem = "plik nie zawiera danych obrazu";
    return false;
  }
  DcmXfer syntax(dataset.getOriginalXfer());
  if (!syntax.isEncapsulated()) {
    // Horizontally subsampled colour stores two chroma values per two pixels.
    const bool subsampled = a.photometric == "YBR_FULL_422" || a.photometric == "YBR_PARTIAL_422";
    const unsigned long long needed = static_cast<unsigned long long>(a.rows) * a.columns *
                                      (subsampled ? 2 : a.samplesPerPixel) * (a.bitsAllocated / 8) *
                                      static_cast<unsigned long long>(a.frames);
    if (pixels->getLength() < needed) {
      problem = "dane obrazu są krótsze, niż podaje nagłówek (" + std::to_string(pixels->getLength()) +
                " z " + std::to_string(needed) + " bajtów)";
      return false;
    }
  }
  return true;
}

// The frame's values as distances from its smallest, which DCMTK found as it
// decoded them. False when they span more than 16 bits hold: shown through a
// coarser table they would be shown wrong.
template <typename T>
bool copyLevels(const void *data, size_t count, double low, double high, DecodedFrame &frame) {
  frame.minStored = static_cast<int64_t>(low);
  frame.maxStored = static_cast<int64_t>(high);
  if (frame.maxStored < frame.minStored ||
      frame.maxStored - frame.minStored > std::numeric_limits<uint16_t>::max())
    return false;
  const T *values = static_cast<const T *>(data);
  const T base = static_cast<T>(frame.minStored);
  frame.levels.resize(count);
  uint16_t *levels = frame.levels.data();
  for (size_t i = 0; i < count; ++i) levels[i] = static_cast<uint16_t>(values[i] - base);
  return true;
}

// Turns the frame's raw values (8-bit ones packed at the start of `levels`)
// into levels: each masked to its stored bits, and the smallest subtracted.
void toLevels(const ImageAttributes &a, size_t count, bool eight, DecodedFrame &frame) {
  uint16_t *levels = frame.levels.data();
  if (eight) {  // widened from the end, where no byte is yet overwritten
    const uint8_t *raw = reinterpret_cast<const uint8_t *>(levels);
    for (size_t i = count; i-- > 0;) levels[i] = raw[i];
  }
  // Flipping the sign bit orders signed values as unsigned ones, so both
  // passes work in 16 bits alone, which the compiler turns into vector code.
  const int shift = a.highBit + 1 - a.bitsStored;
  const uint16_t mask = static_cast<uint16_t>(a.bitsStored >= 16 ? 0xFFFFu : (1u << a.bitsStored) - 1);
  const uint16_t sign = static_cast<uint16_t>(a.isSigned ? 1u << (a.bitsStored - 1) : 0u);
  uint16_t low = 0xFFFF, high = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint16_t ordered = static_cast<uint16_t>(((levels[i] >> shift) & mask) ^ sign);
    levels[i] = ordered;
    low = std::min(low, ordered);
    high = std::max(high, ordered);
  }
  if (count == 0) low = high = 0;
  for (size_t i = 0; i < count; ++i) levels[i] = static_cast<uint16_t>(levels[i] - low);
  frame.width = a.columns;
  frame.height = a.rows;
  frame.minStored = static_cast<int64_t>(low) - sign;
  frame.maxStored = static_cast<int64_t>(high) - sign;
}

// Native grey values, the commonest images of all, are read from the file
// straight into the frame and turned into levels in place: one read and two
// passes, where DCMTK's own path copies them twice more before they reach us.
// False, with nothing decided, for any layout DCMTK is better left to: a
// compressed or deflated file, 8 bits in big endian, an unusual high bit.
bool readNativeGreyFrame(DcmDataset &dataset, const ImageAttributes &a, long frameNumber,
                         DecodedFrame &frame) {
  const E_TransferSyntax syntax = dataset.getOriginalXfer();
  DcmXfer transfer(syntax);
  DcmElement *pixels = nullptr;
  if (transfer.isEncapsulated() || syntax == EXS_DeflatedLittleEndianExplicit ||
      a.highBit + 1 < a.bitsStored || a.highBit >= a.bitsAllocated ||
      dataset.findAndGetElement(DCM_PixelData, pixels).bad() || pixels == nullptr)
    return false;
  const bool sixteen = a.bitsAllocated == 16 && pixels->getVR() == EVR_OW;
  const bool eight = a.bitsAllocated == 8 && transfer.getByteOrder() == EBO_LittleEndian;
  if (!sixteen && !eight) return false;
  const size_t count = static_cast<size_t>(a.rows) * static_cast<size_t>(a.columns);
  const size_t bytes = count * (sixteen ? 2 : 1);
  const unsigned long long offset = static_cast<unsigned long long>(frameNumber) * bytes;
  if (offset + bytes > pixels->getLength()) return false;
  frame.levels.resize(count);
  uint16_t *levels = frame.levels.data();
  if (pixels->getPartialValue(levels, static_cast<Uint32>(offset), static_cast<Uint32>(bytes)).bad()) {
    frame.levels.clear();
    return false;
  }
  toLevels(a, count, eight, frame);
  return true;
}

// Grey values of a compressed file, decoded by the codec straight into the
// frame: DicomImage reading a file of many frames one at a time would decode
// its first frame once more at every step to learn its colour model. False,
// with nothing decided, when the codec cannot or the frame is not grey.
bool readEncapsulatedGreyFrame(DcmDataset &dataset, const ImageAttributes &a, long frameNumber,
                               DecodedFrame &frame) {
  DcmElement *element = nullptr;
  if (!DcmXfer(dataset.getOriginalXfer()).isEncapsulated() || a.highBit + 1 < a.bitsStored ||
      a.highBit >= a.bitsAllocated || (a.bitsAllocated != 8 && a.bitsAllocated != 16) ||
      dataset.findAndGetElement(DCM_PixelData, element).bad())
    return false;
  auto *pixels = dynamic_cast<DcmPixelData *>(element);
  const size_t count = static_cast<size_t>(a.rows) * static_cast<size_t>(a.columns);
  const size_t bytes = count * static_cast<size_t>(a.bitsAllocated / 8);
  Uint32 frameBytes = 0;
  if (pixels == nullptr || pixels->getUncompressedFrameSize(&dataset, frameBytes).bad() || frameBytes < bytes)
    return false;
  frame.levels.resize((frameBytes + 1) / 2 > count ? (frameBytes + 1) / 2 : count);
  Uint32 startFragment = 0;
  OFString colourModel;
  if (pixels
          ->getUncompressedFrame(&dataset, static_cast<Uint32>(frameNumber), startFragment,
                                 frame.levels.data(), frameBytes, colourModel)
          .bad() ||
      colourModel.compare(0, 10, "MONOCHROME") != 0) {
    frame.levels.clear();
    return false;
  }
  toLevels(a, count, a.bitsAllocated == 8, frame);
  frame.levels.resize(count);
  return true;
}

// The problem may quote the file's own bytes (its photometric interpretation),
// which need not be text at all; the list shows it as UTF-8.
DecodedFrame failedFrame(const std::string &problem) {
  DecodedFrame frame;
  frame.problem = makeValidUtf8(problem);
  return frame;
}

}  // namespace

uint16_t LookupTable::operator()(double value) const {
  const long long at =
      std::clamp<long long>(std::llround(value) - firstMapped, 0, static_cast<long long>(data.size()) - 1);
  return data[static_cast<size_t>(at)];
}

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
  if (grey && a.samplesPerPixel == 1 &&
      (readNativeGreyFrame(*dataset, a, frameNumber, frame) ||
       readEncapsulatedGreyFrame(*dataset, a, frameNumber, frame)))
    return frame;
  // Values are read from the file a frame at a time, straight into the
  // decoder's buffer. Not a compressed file of one frame: DCMTK then decodes
  // the first frame once more to learn its colour model, twice the work of
  // decoding it whole. Nor a deflated file, whose values were inflated into
  // memory as it was read: there is no place in the file to read a frame from.
  const bool wholeFrame = DcmXfer(dataset->getOriginalXfer()).isEncapsulated() && a.frames == 1;
  unsigned long flags = dataset->getOriginalXfer() == EXS_DeflatedLittleEndianExplicit || wholeFrame
                            ? 0
                            : CIF_UsePartialAccessToPixelData;
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
    double low = 0, high = -1;
    image.getMinMaxValues(low, high, 0);
    bool copied = false;
    switch (inter->getRepresentation()) {
      case EPR_Uint8:
        copied = copyLevels<Uint8>(inter->getData(), count, low, high, frame);
        break;
      case EPR_Sint8:
        copied = copyLevels<Sint8>(inter->getData(), count, low, high, frame);
        break;
      case EPR_Uint16:
        copied = copyLevels<Uint16>(inter->getData(), count, low, high, frame);
        break;
      case EPR_Sint16:
        copied = copyLevels<Sint16>(inter->getData(), count, low, high, frame);
        break;
      case EPR_Uint32:
        copied = copyLevels<Uint32>(inter->getData(), count, low, high, frame);
        break;
      case EPR_Sint32:
        copied = copyLevels<Sint32>(inter->getData(), count, low, high, frame);
        break;
    }
    if (!copied)
      return failedFrame("wartości obrazu (od " + std::to_string(frame.minStored) + " do " +
                         std::to_string(frame.maxStored) +
                         ") obejmują więcej niż 65 536 poziomów; ta przeglądarka nie pokaże ich wiernie");
  } else {
    frame.colour = true;
    const void *rgb = image.getOutputData(8, 0, 0);
    if (rgb == nullptr) return failedFrame("nie można zdekodować obrazu barwnego");
    const auto *bytes = static_cast<const uint8_t *>(rgb);
    frame.rgb.assign(bytes, bytes + count * 3);
  }
  return frame;
}
