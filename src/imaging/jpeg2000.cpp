// OpenJPEG reads the code stream from memory; the DCMTK codec gathers a
// frame's fragments, decodes them and writes the samples as the dataset's
// Bits Allocated says. Any thread may decode.
#include "imaging/jpeg2000.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dccodec.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcitem.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcstack.h>
#include <dcmtk/dcmdata/dcvrobow.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

struct MemoryStream {
  const uint8_t *bytes;
  size_t length;
  size_t at;
};

OPJ_SIZE_T readStream(void *buffer, OPJ_SIZE_T wanted, void *data) {
  auto *stream = static_cast<MemoryStream *>(data);
  if (stream->at >= stream->length) return static_cast<OPJ_SIZE_T>(-1);
  OPJ_SIZE_T count = std::min<OPJ_SIZE_T>(wanted, stream->length - stream->at);
  std::memcpy(buffer, stream->bytes + stream->at, count);
  stream->at += count;
  return count;
}

OPJ_OFF_T skipStream(OPJ_OFF_T count, void *data) {
  auto *stream = static_cast<MemoryStream *>(data);
  if (count < 0) {
    OPJ_OFF_T back = std::min<OPJ_OFF_T>(-count, static_cast<OPJ_OFF_T>(stream->at));
    stream->at -= static_cast<size_t>(back);
    return -back;
  }
  OPJ_OFF_T ahead = std::min<OPJ_OFF_T>(count, static_cast<OPJ_OFF_T>(stream->length - stream->at));
  stream->at += static_cast<size_t>(ahead);
  return ahead;
}

OPJ_BOOL seekStream(OPJ_OFF_T position, void *data) {
  auto *stream = static_cast<MemoryStream *>(data);
  if (position < 0 || static_cast<size_t>(position) > stream->length) return OPJ_FALSE;
  stream->at = static_cast<size_t>(position);
  return OPJ_TRUE;
}

// OpenJPEG's messages would go to standard error; the caller reports.
void quiet(const char *, void *) {}

struct CodecDeleter {
  void operator()(opj_codec_t *codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
  void operator()(opj_stream_t *stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
  void operator()(opj_image_t *image) const { opj_image_destroy(image); }
};

bool isJp2File(const uint8_t *bytes, size_t length) {
  static const uint8_t signature[] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' '};
  return length >= sizeof signature && std::memcmp(bytes, signature, sizeof signature) == 0;
}

bool startsCodeStream(const uint8_t *bytes, size_t length) {
  return length >= 4 && bytes[0] == 0xFF && bytes[1] == 0x4F && bytes[2] == 0xFF && bytes[3] == 0x51;
}

}  // namespace

bool decodeJpeg2000(const uint8_t *bytes, size_t length, Jpeg2000Image &image, std::string &error) {
  image = Jpeg2000Image();
  if (!isJp2File(bytes, length) && !startsCodeStream(bytes, length)) {
    error = "dane JPEG 2000 nie zaczynają się od nagłówka strumienia";
    return false;
  }
  std::unique_ptr<opj_codec_t, CodecDeleter> codec(
      opj_create_decompress(isJp2File(bytes, length) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  opj_set_info_handler(codec.get(), quiet, nullptr);
  opj_set_warning_handler(codec.get(), quiet, nullptr);
  opj_set_error_handler(codec.get(), quiet, nullptr);
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  MemoryStream memory{bytes, length, 0};
  std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(1 << 16, OPJ_TRUE));
  opj_stream_set_user_data(stream.get(), &memory, nullptr);
  opj_stream_set_user_data_length(stream.get(), length);
  opj_stream_set_read_function(stream.get(), readStream);
  opj_stream_set_skip_function(stream.get(), skipStream);
  opj_stream_set_seek_function(stream.get(), seekStream);
  opj_image_t *raw = nullptr;
  if (!opj_setup_decoder(codec.get(), &parameters) || !opj_read_header(stream.get(), codec.get(), &raw)) {
    opj_image_destroy(raw);
    error = "uszkodzony nagłówek JPEG 2000";
    return false;
  }
  std::unique_ptr<opj_image_t, ImageDeleter> decoded(raw);
  const long long width = static_cast<long long>(raw->x1) - raw->x0;
  const long long height = static_cast<long long>(raw->y1) - raw->y0;
  if (width <= 0 || height <= 0 || raw->numcomps == 0 || raw->numcomps > 4 ||
      width * height * raw->numcomps > kLargestJpeg2000Samples) {
    error = "obraz JPEG 2000 ma niedozwolony rozmiar";
    return false;
  }
  if (!opj_decode(codec.get(), stream.get(), raw) || !opj_end_decompress(codec.get(), stream.get())) {
    error = "uszkodzone dane JPEG 2000";
    return false;
  }
  for (OPJ_UINT32 c = 0; c < raw->numcomps; ++c) {
    const opj_image_comp_t &component = raw->comps[c];
    if (component.data == nullptr || component.w != static_cast<OPJ_UINT32>(width) ||
        component.h != static_cast<OPJ_UINT32>(height) || component.prec == 0 || component.prec > 16) {
      error = "obraz JPEG 2000 o składowych, których ta przeglądarka nie obsługuje";
      return false;
    }
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.components = static_cast<int>(raw->numcomps);
  image.precision = static_cast<int>(raw->comps[0].prec);
  image.isSigned = raw->comps[0].sgnd != 0;
  const size_t plane = static_cast<size_t>(width * height);
  image.samples.resize(plane * raw->numcomps);
  for (OPJ_UINT32 c = 0; c < raw->numcomps; ++c)
    std::copy(raw->comps[c].data, raw->comps[c].data + plane, image.samples.begin() + c * plane);
  return true;
}

namespace {

// Why the codec refused the last frame on this thread: DCMTK passes on a
// status only, and every thread decodes frames of its own.
std::string &lastFailure() {
  thread_local std::string text;
  return text;
}

// The DCMTK side: decoding only; JPEG 2000 is never written.
class Jpeg2000Codec : public DcmCodec {
 public:
  OFCondition decode(const DcmRepresentationParameter *, DcmPixelSequence *pixels,
                     DcmPolymorphOBOW &uncompressed, const DcmCodecParameter *, const DcmStack &stack,
                     OFBool &removeOldRep) const override {
    DcmStack copy(stack);
    DcmItem *dataset = itemOf(copy);
    if (dataset == nullptr) return EC_IllegalCall;
    Layout layout;
    OFCondition status = layoutOf(dataset, layout);
    if (status.bad()) return status;
    const unsigned long long total = layout.frameBytes * static_cast<unsigned long long>(layout.frames);
    if (total > 0xFFFFFFF0ULL) return EC_MemoryExhausted;
    Uint16 *words = nullptr;
    Uint8 *bytes = nullptr;
    if (layout.bytesPerSample == 2)
      status = uncompressed.createUint16Array(static_cast<Uint32>(total / 2), words);
    else
      status = uncompressed.createUint8Array(static_cast<Uint32>(total), bytes);
    if (status.bad()) return status;
    char *target = words != nullptr ? reinterpret_cast<char *>(words) : reinterpret_cast<char *>(bytes);
    Uint32 fragment = 0;
    for (long frame = 0; frame < layout.frames; ++frame) {
      status =
          decodeOne(pixels, layout, static_cast<Uint32>(frame), fragment, target + frame * layout.frameBytes);
      if (status.bad()) return status;
    }
    removeOldRep = OFTrue;
    if (layout.samples == 3) {
      dataset->putAndInsertString(DCM_PhotometricInterpretation, "RGB");
      dataset->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    }
    return EC_Normal;
  }

  OFCondition decodeFrame(const DcmRepresentationParameter *, DcmPixelSequence *pixels,
                          const DcmCodecParameter *, DcmItem *dataset, Uint32 frame, Uint32 &startFragment,
                          void *buffer, Uint32 size, OFString &colourModel) const override {
    Layout layout;
    OFCondition status = layoutOf(dataset, layout);
    if (status.bad()) return status;
    if (size < layout.frameBytes) return EC_IllegalCall;
    status = decodeOne(pixels, layout, frame, startFragment, static_cast<char *>(buffer));
    if (status.good())
      status = determineDecompressedColorModel(nullptr, pixels, nullptr, dataset, colourModel);
    return status;
  }

  OFCondition encode(const Uint16 *, const Uint32, const DcmRepresentationParameter *, DcmPixelSequence *&,
                     const DcmCodecParameter *, DcmStack &, OFBool &) const override {
    return EC_IllegalCall;
  }
  OFCondition encode(const E_TransferSyntax, const DcmRepresentationParameter *, DcmPixelSequence *,
                     const DcmRepresentationParameter *, DcmPixelSequence *&, const DcmCodecParameter *,
                     DcmStack &, OFBool &) const override {
    return EC_IllegalCall;
  }

  OFBool canChangeCoding(const E_TransferSyntax from, const E_TransferSyntax to) const override {
    const bool fromJpeg2000 = from == EXS_JPEG2000 || from == EXS_JPEG2000LosslessOnly;
    DcmXfer target(to);
    return fromJpeg2000 && !target.isEncapsulated();
  }

  OFCondition determineDecompressedColorModel(const DcmRepresentationParameter *, DcmPixelSequence *,
                                              const DcmCodecParameter *, DcmItem *dataset,
                                              OFString &colourModel) const override {
    if (dataset == nullptr) return EC_IllegalCall;
    Uint16 samples = 1;
    dataset->findAndGetUint16(DCM_SamplesPerPixel, samples);
    // OpenJPEG undoes the code stream's colour transform (YBR_RCT, YBR_ICT).
    if (samples == 3) {
      colourModel = "RGB";
      return EC_Normal;
    }
    return dataset->findAndGetOFString(DCM_PhotometricInterpretation, colourModel);
  }

 private:
  struct Layout {
    unsigned long long frameBytes = 0;
    unsigned long pixels = 0;
    int samples = 1;
    int bytesPerSample = 1;
    bool planar = false;
    long frames = 1;
  };

  static DcmItem *itemOf(DcmStack &stack) {
    if (stack.card() < 2) return nullptr;
    stack.pop();
    DcmObject *object = stack.top();
    if (object == nullptr || (object->ident() != EVR_dataset && object->ident() != EVR_item)) return nullptr;
    return static_cast<DcmItem *>(object);
  }

  static OFCondition layoutOf(DcmItem *dataset, Layout &layout) {
    Uint16 rows = 0, columns = 0, allocated = 0, samples = 1, planar = 0;
    if (dataset->findAndGetUint16(DCM_Rows, rows).bad() ||
        dataset->findAndGetUint16(DCM_Columns, columns).bad() ||
        dataset->findAndGetUint16(DCM_BitsAllocated, allocated).bad())
      return EC_TagNotFound;
    dataset->findAndGetUint16(DCM_SamplesPerPixel, samples);
    dataset->findAndGetUint16(DCM_PlanarConfiguration, planar);
    Sint32 frames = 1;
    dataset->findAndGetSint32(DCM_NumberOfFrames, frames);
    if (rows == 0 || columns == 0 || (allocated != 8 && allocated != 16) || (samples != 1 && samples != 3))
      return EC_InvalidValue;
    layout.pixels = static_cast<unsigned long>(rows) * columns;
    layout.samples = samples;
    layout.bytesPerSample = allocated / 8;
    layout.planar = planar == 1;
    layout.frames = frames > 0 ? frames : 1;
    layout.frameBytes = static_cast<unsigned long long>(layout.pixels) * samples * layout.bytesPerSample;
    return EC_Normal;
  }

  // The frame's code stream: its first fragment and those after it up to the
  // next fragment that starts a code stream of its own.
  static OFCondition gather(DcmPixelSequence *pixels, Uint32 &fragment, std::vector<uint8_t> &stream) {
    const unsigned long count = pixels->card();
    // Item 0 is the offset table.
    if (fragment == 0) fragment = 1;
    for (bool first = true; fragment < count; first = false, ++fragment) {
      DcmPixelItem *item = nullptr;
      if (pixels->getItem(item, fragment).bad() || item == nullptr) return EC_CorruptedData;
      Uint8 *data = nullptr;
      const Uint32 length = item->getLength();
      if (length > 0 && (item->getUint8Array(data).bad() || data == nullptr)) return EC_CorruptedData;
      if (!first && startsCodeStream(data, length)) break;
      if (stream.size() + length > static_cast<size_t>(kLargestJpeg2000Samples)) return EC_MemoryExhausted;
      stream.insert(stream.end(), data, data + length);
    }
    return stream.empty() ? EC_CorruptedData : EC_Normal;
  }

  static OFCondition decodeOne(DcmPixelSequence *pixels, const Layout &layout, Uint32 frame, Uint32 &fragment,
                               char *target) {
    if (fragment == 0 && frame > 0 &&
        determineStartFragment(frame, static_cast<Sint32>(layout.frames), pixels, fragment).bad())
      return EC_CorruptedData;
    std::vector<uint8_t> stream;
    OFCondition status = gather(pixels, fragment, stream);
    if (status.bad()) {
      lastFailure() = status == EC_MemoryExhausted ? "strumień JPEG 2000 ramki jest zbyt duży"
                                                   : "dane JPEG 2000 ramki są uszkodzone";
      return status;
    }
    Jpeg2000Image image;
    std::string error;
    if (!decodeJpeg2000(stream.data(), stream.size(), image, error)) {
      lastFailure() = error;
      return EC_CorruptedData;
    }
    if (static_cast<unsigned long>(image.width) * static_cast<unsigned long>(image.height) != layout.pixels ||
        image.components != layout.samples) {
      lastFailure() = "obraz JPEG 2000 ma inne wymiary, niż podaje plik DICOM";
      return EC_CorruptedData;
    }
    const size_t plane = layout.pixels;
    for (int c = 0; c < layout.samples; ++c)
      for (size_t i = 0; i < plane; ++i) {
        const size_t at = layout.planar ? c * plane + i : i * layout.samples + c;
        const int32_t value = image.samples[c * plane + i];
        if (layout.bytesPerSample == 2) {
          const Uint16 word = static_cast<Uint16>(value);
          std::memcpy(target + at * 2, &word, 2);
        } else {
          target[at] = static_cast<char>(static_cast<Uint8>(value));
        }
      }
    return EC_Normal;
  }
};

// The codec as registered with DCMTK, whose codec list is process-wide too;
// counted so that holders may nest.
struct CodecRegistration {
  std::mutex lock;
  int holders = 0;
  Jpeg2000Codec *codec = nullptr;
  DcmRepresentationParameter *parameter = nullptr;
  DcmCodecParameter *codecParameter = nullptr;
};
CodecRegistration registration;

class NoParameter : public DcmCodecParameter {
 public:
  DcmCodecParameter *clone() const override { return new NoParameter; }
  const char *className() const override { return "Jpeg2000Parameter"; }
};
class NoRepresentation : public DcmRepresentationParameter {
 public:
  DcmRepresentationParameter *clone() const override { return new NoRepresentation; }
  const char *className() const override { return "Jpeg2000Representation"; }
  OFBool operator==(const DcmRepresentationParameter &other) const override {
    return std::strcmp(className(), other.className()) == 0;
  }
};

}  // namespace

std::string takeJpeg2000Failure() {
  std::string failure;
  failure.swap(lastFailure());
  return failure;
}

Jpeg2000Registration::Jpeg2000Registration() {
  std::lock_guard<std::mutex> hold(registration.lock);
  if (registration.holders++ > 0) return;
  registration.codec = new Jpeg2000Codec;
  registration.parameter = new NoRepresentation;
  registration.codecParameter = new NoParameter;
  DcmCodecList::registerCodec(registration.codec, registration.parameter, registration.codecParameter);
}

Jpeg2000Registration::~Jpeg2000Registration() {
  std::lock_guard<std::mutex> hold(registration.lock);
  if (--registration.holders > 0) return;
  DcmCodecList::deregisterCodec(registration.codec);
  delete registration.codec;
  delete registration.parameter;
  delete registration.codecParameter;
  registration.codec = nullptr;
}
