// DICOM image files and the DICOMDIR of the sample medium, written with DCMTK.
#include "dicom_files.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcddirif.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/oflog/oflog.h>
#include <glib.h>

#include <cstdio>
#include <memory>

namespace samplemedium {

namespace {

const char *imageType(const StudyPlan &study, const SeriesPlan &series) {
  if (study.modality == "CT")
    return series.view == View::Axial ? "ORIGINAL\\PRIMARY\\AXIAL" : "DERIVED\\SECONDARY\\REFORMATTED";
  return "ORIGINAL\\PRIMARY";
}

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::string decimals(std::initializer_list<double> values) {
  std::string text;
  for (double value : values) text += (text.empty() ? "" : "\\") + decimal(value);
  return text;
}

// Field of view of the anatomy, millimetres across the picture's width.
double fieldOfView(Anatomy anatomy) {
  switch (anatomy) {
    case Anatomy::Head:
      return 250;
    case Anatomy::Knee:
      return 160;
    case Anatomy::Chest:
      return 430;
  }
  return 250;
}

class DatasetWriter {
 public:
  DatasetWriter(DcmDataset *dataset, const std::string &characterSet)
      : dataset_(dataset), characterSet_(characterSet) {}

  void put(const DcmTagKey &tag, const std::string &value) {
    if (status_.good()) status_ = dataset_->putAndInsertString(tag, value.c_str());
  }
  // A value that may hold national characters.
  void putText(const DcmTagKey &tag, const std::string &utf8) {
    put(tag, encodeForCharacterSet(utf8, characterSet_));
  }
  void putNumber(const DcmTagKey &tag, Uint16 value) {
    if (status_.good()) status_ = dataset_->putAndInsertUint16(tag, value);
  }
  const OFCondition &status() const { return status_; }

 private:
  DcmDataset *dataset_;
  std::string characterSet_;
  OFCondition status_ = EC_Normal;
};

void putPlane(DatasetWriter &out, const StudyPlan &study, const SeriesPlan &series, int index,
              double pixelSpacing) {
  const double thickness =
      study.modality == "CT" ? (series.description.find("2 mm") != std::string::npos ? 2 : 5) : 3.5;
  const double location = (index - series.images / 2.0) * thickness;
  const double left = -series.width * pixelSpacing / 2, top = series.height * pixelSpacing / 2;
  switch (series.view) {
    case View::Axial:
      out.put(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
      out.put(DCM_ImagePositionPatient, decimals({left, -top, location}));
      break;
    case View::Sagittal:
      out.put(DCM_ImageOrientationPatient, "0\\1\\0\\0\\0\\-1");
      out.put(DCM_ImagePositionPatient, decimals({location, left, top}));
      break;
    default:
      out.put(DCM_ImageOrientationPatient, "1\\0\\0\\0\\0\\-1");
      out.put(DCM_ImagePositionPatient, decimals({left, location, top}));
      break;
  }
  out.put(DCM_SliceThickness, decimal(thickness));
  out.put(DCM_SliceLocation, decimal(location));
  out.put(DCM_FrameOfReferenceUID, study.frameOfReferenceUid);
  out.put(DCM_PositionReferenceIndicator, "");
}

void putModalityAttributes(DatasetWriter &out, const StudyPlan &study, const SeriesPlan &series) {
  if (study.modality == "CT") {
    out.put(DCM_KVP, "120");
    out.put(DCM_AcquisitionNumber, "1");
    out.put(DCM_ConvolutionKernel, series.windowWidth > 1000 ? "H70h" : "H30s");
    out.put(DCM_RescaleIntercept, "-1024");
    out.put(DCM_RescaleSlope, "1");
    out.put(DCM_WindowCenter, decimal(series.windowCenter - 1024));
    out.put(DCM_WindowWidth, decimal(series.windowWidth));
  } else if (study.modality == "MR") {
    const bool gradientEcho = series.view == View::Axial;
    out.put(DCM_ScanningSequence, gradientEcho ? "GR" : "SE");
    out.put(DCM_SequenceVariant, gradientEcho ? "SP" : "SK");
    out.put(DCM_ScanOptions, series.view == View::Sagittal ? "FS" : "");
    out.put(DCM_MRAcquisitionType, "2D");
    out.put(DCM_RepetitionTime, gradientEcho ? "620" : "3200");
    out.put(DCM_EchoTime, gradientEcho ? "18" : "32");
    out.put(DCM_EchoTrainLength, gradientEcho ? "1" : "8");
    out.put(DCM_MagneticFieldStrength, "1.5");
    out.put(DCM_AcquisitionNumber, "1");
    out.put(DCM_WindowCenter, decimal(series.windowCenter));
    out.put(DCM_WindowWidth, decimal(series.windowWidth));
  } else {
    out.put(DCM_ViewPosition, series.view == View::Lateral ? "LL" : "PA");
    out.put(DCM_PatientOrientation, series.view == View::Lateral ? "A\\F" : "L\\F");
    out.put(DCM_KVP, "125");
    out.put(DCM_WindowCenter, decimal(series.windowCenter));
    out.put(DCM_WindowWidth, decimal(series.windowWidth));
  }
}

}  // namespace

std::string encodeForCharacterSet(const std::string &utf8, const std::string &characterSet) {
  if (characterSet != "ISO_IR 101") return utf8;
  gsize written = 0;
  std::unique_ptr<gchar, decltype(&g_free)> latin2(
      g_convert(utf8.c_str(), static_cast<gssize>(utf8.size()), "ISO-8859-2", "UTF-8", nullptr, &written,
                nullptr),
      g_free);
  return latin2 ? std::string(latin2.get(), written) : utf8;
}

bool writeDicomImage(const std::string &path, const Patient &patient, const StudyPlan &study,
                     const SeriesPlan &series, int index, const Picture &picture, std::string *error) {
  DcmFileFormat file;
  DatasetWriter out(file.getDataset(), study.characterSet);
  const double pixelSpacing = fieldOfView(study.anatomy) / picture.width;
  out.put(DCM_SpecificCharacterSet, study.characterSet);
  out.put(DCM_ImageType, imageType(study, series));
  out.put(DCM_SOPClassUID, study.sopClassUid);
  out.put(DCM_SOPInstanceUID, series.imageUids[index]);
  for (const DcmTagKey &tag : {DCM_StudyDate, DCM_SeriesDate, DCM_AcquisitionDate, DCM_ContentDate})
    out.put(tag, study.date);
  for (const DcmTagKey &tag : {DCM_StudyTime, DCM_SeriesTime, DCM_AcquisitionTime, DCM_ContentTime})
    out.put(tag, study.time);
  out.put(DCM_AccessionNumber, study.accessionNumber);
  out.put(DCM_Modality, study.modality);
  out.put(DCM_Manufacturer, "Velmora");
  out.putText(DCM_InstitutionName, "Szpital Wojewódzki im. św. Łukasza");
  out.putText(DCM_ReferringPhysicianName, "Nowak^Łukasz^^dr n. med.");
  out.putText(DCM_StudyDescription, study.description);
  if (!series.description.empty()) out.putText(DCM_SeriesDescription, series.description);
  out.put(DCM_ManufacturerModelName, "Fantom");
  out.putText(DCM_PatientName, patient.name);
  out.put(DCM_PatientID, patient.id);
  out.put(DCM_PatientBirthDate, patient.birthDate);
  out.put(DCM_PatientSex, patient.sex);
  out.put(DCM_BodyPartExamined, study.bodyPart);
  out.put(DCM_StudyInstanceUID, study.uid);
  out.put(DCM_SeriesInstanceUID, series.uid);
  out.put(DCM_StudyID, study.studyId);
  out.put(DCM_SeriesNumber, std::to_string(series.number));
  out.put(DCM_InstanceNumber, std::to_string(index + 1));
  if (study.anatomy == Anatomy::Knee) out.put(DCM_Laterality, "L");
  if (study.modality != "CR") putPlane(out, study, series, index, pixelSpacing);
  out.put(DCM_PixelSpacing, decimals({pixelSpacing, pixelSpacing}));
  putModalityAttributes(out, study, series);
  out.putNumber(DCM_SamplesPerPixel, 1);
  out.put(DCM_PhotometricInterpretation, "MONOCHROME2");
  out.putNumber(DCM_Rows, static_cast<Uint16>(picture.height));
  out.putNumber(DCM_Columns, static_cast<Uint16>(picture.width));
  out.putNumber(DCM_BitsAllocated, 16);
  out.putNumber(DCM_BitsStored, 12);
  out.putNumber(DCM_HighBit, 11);
  out.putNumber(DCM_PixelRepresentation, 0);
  OFCondition status = out.status();
  if (status.good())
    status = file.getDataset()->putAndInsertUint16Array(DCM_PixelData, picture.values.data(),
                                                        static_cast<unsigned long>(picture.values.size()));
  if (status.good()) status = file.saveFile(path.c_str(), EXS_LittleEndianExplicit);
  if (status.bad()) {
    *error = path + ": " + status.text();
    return false;
  }
  return true;
}

bool writeDicomDir(const std::string &root, const std::vector<std::string> &files, std::string *error) {
  // The records name every file they add, and the patient record warns about
  // each file of the Latin-2 study: only errors are worth showing.
  OFLog::configure(OFLogger::ERROR_LOG_LEVEL);
  DicomDirInterface dicomDir;
  const std::string path = root + "/DICOMDIR";
  OFCondition status =
      dicomDir.createNewDicomDir(DicomDirInterface::AP_GeneralPurpose, path.c_str(), "VELMORA_SAMPLE");
  for (size_t i = 0; status.good() && i < files.size(); ++i)
    status = dicomDir.addDicomFile(files[i].c_str(), root.c_str());
  if (status.good()) status = dicomDir.writeDicomDir();
  if (status.bad()) {
    *error = path + ": " + status.text();
    return false;
  }
  return true;
}

}  // namespace samplemedium
