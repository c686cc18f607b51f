// Small DICOM files written with DCMTK for tests of the catalogue and its users.
#include "support/dicom_fixture.h"

#include "platform/glib_owners.h"

#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <glib.h>
#include <boost/filesystem.hpp>

#include <memory>
#include <stdexcept>

namespace testsupport {

bool writeDicomFile(const std::string &path, const DicomValues &values, const DicomEncoding &encoding) {
  boost::filesystem::create_directories(boost::filesystem::path(path).parent_path());
  DcmFileFormat file;
  DcmDataset *dataset = file.getDataset();
  char uid[100];
  dataset->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  dataset->putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
  dataset->putAndInsertString(DCM_StudyInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT));
  dataset->putAndInsertString(DCM_SeriesInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
  for (const auto &[tag, value] : values) dataset->putAndInsertString(tag, value.c_str());
  if (encoding.pixelSide > 0) {
    const Uint16 side = static_cast<Uint16>(encoding.pixelSide);
    dataset->putAndInsertUint16(DCM_SamplesPerPixel, 1);
    dataset->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    dataset->putAndInsertUint16(DCM_Rows, side);
    dataset->putAndInsertUint16(DCM_Columns, side);
    dataset->putAndInsertUint16(DCM_BitsAllocated, 16);
    dataset->putAndInsertUint16(DCM_BitsStored, 12);
    dataset->putAndInsertUint16(DCM_HighBit, 11);
    dataset->putAndInsertUint16(DCM_PixelRepresentation, 0);
    std::vector<Uint16> pixels(static_cast<size_t>(side) * side);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<Uint16>(i % 4096);
    dataset->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
  }
  return file
      .saveFile(path.c_str(), encoding.syntax, EET_ExplicitLength, EGL_recalcGL, EPD_noChange, 0, 0,
                encoding.withMetaHeader ? EWM_createNewMeta : EWM_dataset)
      .good();
}

std::string encodeAs(const std::string &utf8, const char *charset) {
  gsize written = 0;
  UniqueString bytes(
      g_convert(utf8.data(), static_cast<gssize>(utf8.size()), charset, "UTF-8", nullptr, &written, nullptr));
  if (!bytes) throw std::runtime_error("cannot encode a fixture value");
  return std::string(bytes.get(), written);
}

}  // namespace testsupport
