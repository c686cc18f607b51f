// Test images for the viewer.
#include "support/viewer_images.h"

#include "platform/glib_owners.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcpixel.h>
#include <dcmtk/dcmdata/dcpixseq.h>
#include <dcmtk/dcmdata/dcpxitem.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace testsupport {

bool writeTestImage(const std::string &path, const TestImage &image) {
  DcmFileFormat file;
  DcmDataset *d = file.getDataset();
  char uid[100];
  d->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  d->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
  d->putAndInsertString(DCM_StudyInstanceUID, "1.2.3");
  d->putAndInsertString(DCM_SeriesInstanceUID, image.seriesUid.c_str());
  d->putAndInsertString(DCM_PatientName, "Kowalski^Jan");
  d->putAndInsertString(DCM_PatientID, "P1");
  d->putAndInsertString(DCM_Modality, image.modality.c_str());
  d->putAndInsertString(DCM_InstanceNumber, std::to_string(image.instance).c_str());
  d->putAndInsertString(DCM_SliceLocation, std::to_string(image.sliceLocation).c_str());
  if (!image.frameOfReference.empty())
    d->putAndInsertString(DCM_FrameOfReferenceUID, image.frameOfReference.c_str());
  if (!std::isnan(image.height)) {
    d->putAndInsertString(DCM_ImagePositionPatient, ("-100\\-120\\" + std::to_string(image.height)).c_str());
    d->putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
  }
  for (const auto &[group, element, value] : image.more)
    d->putAndInsertString(DcmTag(static_cast<Uint16>(group), static_cast<Uint16>(element)), value.c_str());
  const bool colour = image.photometric == "RGB" || image.photometric.rfind("YBR", 0) == 0;
  // 4:2:2 stores Y Y Cb Cr for each two pixels: two values a pixel.
  const bool subsampled = image.photometric == "YBR_FULL_422";
  const int samples = colour ? 3 : 1;
  d->putAndInsertUint16(DCM_SamplesPerPixel, static_cast<Uint16>(samples));
  d->putAndInsertString(DCM_PhotometricInterpretation, image.photometric.c_str());
  d->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(image.side));
  d->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(image.side));
  d->putAndInsertUint16(DCM_BitsAllocated, static_cast<Uint16>(image.bitsAllocated));
  d->putAndInsertUint16(DCM_BitsStored, static_cast<Uint16>(image.bitsStored));
  const int highBit = image.highBit >= 0 ? image.highBit : image.bitsStored - 1;
  d->putAndInsertUint16(DCM_HighBit, static_cast<Uint16>(highBit));
  d->putAndInsertUint16(DCM_PixelRepresentation, image.isSigned ? 1 : 0);
  if (colour) d->putAndInsertUint16(DCM_PlanarConfiguration, static_cast<Uint16>(image.planar));
  if (image.frames > 1) d->putAndInsertString(DCM_NumberOfFrames, std::to_string(image.frames).c_str());
  if (image.slope != 1 || image.intercept != 0) {
    d->putAndInsertString(DCM_RescaleSlope, std::to_string(image.slope).c_str());
    d->putAndInsertString(DCM_RescaleIntercept, std::to_string(image.intercept).c_str());
  }
  if (!image.window.empty()) {
    const size_t split = image.window.find('\\');
    d->putAndInsertString(DCM_WindowCenter, image.window.substr(0, split).c_str());
    d->putAndInsertString(DCM_WindowWidth, image.window.substr(split + 1).c_str());
  }
  if (image.modalityLut) {
    DcmItem *lut = nullptr;
    d->findOrCreateSequenceItem(DCM_ModalityLUTSequence, lut);
    const Uint16 descriptor[3] = {4096, 0, 16};
    std::vector<Uint16> data(4096);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<Uint16>(i * i / 256);
    lut->putAndInsertUint16Array(DCM_LUTDescriptor, descriptor, 3);
    lut->putAndInsertUint16Array(DCM_LUTData, data.data(), 4096);
    lut->putAndInsertString(DCM_ModalityLUTType, "US");
  }
  const long range = image.valueRange > 0 ? image.valueRange : 1L << image.bitsStored;
  const long low = image.isSigned ? -(range / 2) : 0;
  if (image.photometric == "PALETTE COLOR") {
    // 256 entries, first mapped 0, 16 bits: red rises, green falls, blue fixed.
    const Uint16 descriptor[3] = {256, 0, 16};
    std::vector<Uint16> red(256), green(256), blue(256, 0x8000);
    for (int i = 0; i < 256; ++i) {
      red[i] = static_cast<Uint16>(i * 257);
      green[i] = static_cast<Uint16>((255 - i) * 257);
    }
    for (const DcmTagKey &tag :
         {DCM_RedPaletteColorLookupTableDescriptor, DCM_GreenPaletteColorLookupTableDescriptor,
          DCM_BluePaletteColorLookupTableDescriptor})
      d->putAndInsertUint16Array(tag, descriptor, 3);
    d->putAndInsertUint16Array(DCM_RedPaletteColorLookupTableData, red.data(), 256);
    d->putAndInsertUint16Array(DCM_GreenPaletteColorLookupTableData, green.data(), 256);
    d->putAndInsertUint16Array(DCM_BluePaletteColorLookupTableData, blue.data(), 256);
  }
  const size_t count =
      static_cast<size_t>(image.side) * image.side * (subsampled ? 2 : samples) * image.frames;
  // A diagonal ramp over the whole value range, shifted per frame and channel.
  auto valueAt = [&](size_t i) {
    const size_t pixel = i / samples;
    const size_t x = pixel % image.side, y = (pixel / image.side) % image.side,
                 frame = pixel / (image.side * image.side);
    return low +
           static_cast<long>(
               ((x + y) * range / (2 * image.side) + frame * range / 7 + (i % samples) * range / 3) % range);
  };
  if (image.bitsAllocated == 8) {
    std::vector<Uint8> pixels(count);
    for (size_t i = 0; i < count; ++i) pixels[i] = static_cast<Uint8>(valueAt(i));
    // Planar: every red value of a frame, then every green, then every blue.
    const size_t plane = static_cast<size_t>(image.side) * image.side;
    if (image.planar == 1 && !subsampled)
      for (size_t i = 0; i < count; ++i)
        pixels[i] = static_cast<Uint8>(
            valueAt(i / (3 * plane) * 3 * plane + i % plane * 3 + i % (3 * plane) / plane));
    d->putAndInsertUint8Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(count));
  } else if (image.bitsAllocated == 32) {  // little endian words, as the file holds them on this machine
    std::vector<Uint32> pixels(count);
    for (size_t i = 0; i < count; ++i) pixels[i] = static_cast<Uint32>(valueAt(i));
    d->putAndInsertUint16Array(DCM_PixelData, reinterpret_cast<const Uint16 *>(pixels.data()),
                               static_cast<unsigned long>(count * 2));
  } else {
    std::vector<Uint16> pixels(count);
    for (size_t i = 0; i < count; ++i)
      pixels[i] = static_cast<Uint16>((valueAt(i) & ((1L << image.bitsStored) - 1))
                                      << (highBit + 1 - image.bitsStored));
    d->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(count));
  }
  return file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good();
}

bool runCommand(const std::string &commandLine) {
  gchar *out = nullptr, *err = nullptr;
  gint status = -1;
  const bool ran = g_spawn_command_line_sync(commandLine.c_str(), &out, &err, &status, nullptr);
  UniqueString output(out), errors(err);
  if (ran && g_spawn_check_exit_status(status, nullptr)) return true;
  ADD_FAILURE() << commandLine << ": " << (errors ? errors.get() : "");
  return false;
}

bool writeJpeg2000Copy(const std::string &source, const std::string &target, const std::string &scratch) {
  DcmFileFormat file;
  if (file.loadFile(source.c_str()).bad()) return false;
  DcmDataset *d = file.getDataset();
  Uint16 side = 0, stored = 0, representation = 0;
  const Uint16 *pixels = nullptr;
  unsigned long count = 0;
  d->findAndGetUint16(DCM_Columns, side);
  d->findAndGetUint16(DCM_BitsStored, stored);
  d->findAndGetUint16(DCM_PixelRepresentation, representation);
  if (d->findAndGetUint16Array(DCM_PixelData, pixels, &count).bad()) return false;
  // Raw little-endian samples, sign-extended, as opj_compress reads them.
  std::vector<Uint16> samples(pixels, pixels + count);
  if (representation == 1)
    for (Uint16 &sample : samples)
      if (sample & (1u << (stored - 1))) sample = static_cast<Uint16>(sample | ~((1u << stored) - 1));
  const std::string raw = scratch + "/frame.rawl", coded = scratch + "/frame.j2k";
  std::ofstream(raw, std::ios::binary)
      .write(reinterpret_cast<const char *>(samples.data()),
             static_cast<std::streamsize>(samples.size() * 2));
  if (!runCommand("opj_compress -i " + raw + " -o " + coded + " -F " + std::to_string(side) + "," +
                  std::to_string(side) + ",1," + std::to_string(stored) +
                  (representation == 1 ? ",s" : ",u")))
    return false;
  std::ifstream in(coded, std::ios::binary);
  std::vector<Uint8> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (stream.size() % 2 == 1) stream.push_back(0);
  auto *sequence = new DcmPixelSequence(DCM_PixelSequenceTag);
  sequence->insert(new DcmPixelItem(DCM_PixelItemTag));  // empty offset table
  auto *item = new DcmPixelItem(DCM_PixelItemTag);
  item->putUint8Array(stream.data(), static_cast<unsigned long>(stream.size()));
  sequence->insert(item);
  auto *element = new DcmPixelData(DCM_PixelData);
  element->putOriginalRepresentation(EXS_JPEG2000LosslessOnly, nullptr, sequence);
  d->insert(element, OFTrue);
  return file.saveFile(target.c_str(), EXS_JPEG2000LosslessOnly).good();
}

double meanLevel(const std::string &picture) {
  UniqueObject<GdkPixbuf> pixbuf(gdk_pixbuf_new_from_file(picture.c_str(), nullptr));
  if (!pixbuf) return -1;
  const int width = gdk_pixbuf_get_width(pixbuf.get()), height = gdk_pixbuf_get_height(pixbuf.get());
  const int channels = gdk_pixbuf_get_n_channels(pixbuf.get()),
            stride = gdk_pixbuf_get_rowstride(pixbuf.get());
  const guchar *pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  double sum = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * channels; ++x) sum += pixels[y * stride + x];
  return sum / (static_cast<double>(width) * height * channels);
}

}  // namespace testsupport

namespace testsupport {

bool writeTestDicomDirectory(const std::string &path, const std::vector<std::string> &fileIds) {
  DcmFileFormat file;
  DcmDataset *d = file.getDataset();
  d->putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
  auto record = [&](const char *type) {
    auto *item = new DcmItem(DCM_Item);
    item->putAndInsertString(DCM_DirectoryRecordType, type);
    d->insertSequenceItem(DCM_DirectoryRecordSequence, item);
    return item;
  };
  DcmItem *patient = record("PATIENT");
  patient->putAndInsertString(DCM_PatientName, "Kowalski^Jan");
  patient->putAndInsertString(DCM_PatientID, "P1");
  record("STUDY")->putAndInsertString(DCM_StudyDate, "20240102");
  DcmItem *series = record("SERIES");
  series->putAndInsertString(DCM_Modality, "CT");
  series->putAndInsertString(DCM_SeriesDescription, "Głowa");
  int instance = 0;
  for (const std::string &id : fileIds) {
    DcmItem *image = record("IMAGE");
    image->putAndInsertString(DCM_ReferencedFileID, id.c_str());
    image->putAndInsertString(DCM_InstanceNumber, std::to_string(++instance).c_str());
  }
  return file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good();
}

}  // namespace testsupport
