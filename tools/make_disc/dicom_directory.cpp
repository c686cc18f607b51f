// DICOMDIR writing. May run on any thread, beside the picture workers: it
// reads the copied files only, as they are finished, and decodes nothing.
//
// DCMTK's DicomDirInterface finds a file's place by walking every record
// beside it, the image records of a series among them, and inserts a record
// by walking them again; DcmDicomDir::write reaches each record of a level
// by its index, from the level's first: a series of n images costs n^2 / 2
// record visits (4.8 s at 2,000 images). The tree is built here with a map
// per level and written in one walk, each record still made by DCMTK's own
// record makers and checks, and written by its own encoder.
#include "dicom_directory.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcddirif.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdicdir.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcostrmf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrulup.h>
#include <dcmtk/dcmdata/dcwcache.h>
#include <glib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

namespace makedisc {

namespace {

// The directory record of the objects of a SOP class: an image record unless
// listed here (as DCMTK decides too).
E_DirRecType recordTypeOf(const std::string &sopClass) {
  static const std::map<std::string, E_DirRecType> types = [] {
    std::map<std::string, E_DirRecType> made;
    const std::pair<E_DirRecType, std::vector<const char *>> groups[] = {
        {ERT_Overlay, {UID_RETIRED_StandaloneOverlayStorage}},
        {ERT_ModalityLut, {UID_RETIRED_StandaloneModalityLUTStorage}},
        {ERT_VoiLut, {UID_RETIRED_StandaloneVOILUTStorage}},
        {ERT_Curve, {UID_RETIRED_StandaloneCurveStorage, UID_RETIRED_StandalonePETCurveStorage}},
        {ERT_SRDocument,
         {UID_BasicTextSRStorage,
          UID_EnhancedSRStorage,
          UID_ComprehensiveSRStorage,
          UID_Comprehensive3DSRStorage,
          UID_ExtensibleSRStorage,
          UID_ProcedureLogStorage,
          UID_MammographyCADSRStorage,
          UID_ChestCADSRStorage,
          UID_ColonCADSRStorage,
          UID_XRayRadiationDoseSRStorage,
          UID_EnhancedXRayRadiationDoseSRStorage,
          UID_RadiopharmaceuticalRadiationDoseSRStorage,
          UID_SpectaclePrescriptionReportStorage,
          UID_MacularGridThicknessAndVolumeReportStorage,
          UID_ImplantationPlanSRDocumentStorage,
          UID_AcquisitionContextSRStorage,
          UID_SimplifiedAdultEchoSRStorage,
          UID_PatientRadiationDoseSRStorage,
          UID_PerformedImagingAgentAdministrationSRStorage,
          UID_PlannedImagingAgentAdministrationSRStorage}},
        {ERT_Presentation,
         {UID_GrayscaleSoftcopyPresentationStateStorage, UID_ColorSoftcopyPresentationStateStorage,
          UID_PseudoColorSoftcopyPresentationStateStorage, UID_BlendingSoftcopyPresentationStateStorage,
          UID_XAXRFGrayscaleSoftcopyPresentationStateStorage,
          UID_GrayscalePlanarMPRVolumetricPresentationStateStorage,
          UID_CompositingPlanarMPRVolumetricPresentationStateStorage,
          UID_AdvancedBlendingPresentationStateStorage, UID_VolumeRenderingVolumetricPresentationStateStorage,
          UID_SegmentedVolumeRenderingVolumetricPresentationStateStorage,
          UID_MultipleVolumeRenderingVolumetricPresentationStateStorage, UID_BasicStructuredDisplayStorage}},
        {ERT_Waveform,
         {UID_TwelveLeadECGWaveformStorage, UID_GeneralECGWaveformStorage, UID_AmbulatoryECGWaveformStorage,
          UID_HemodynamicWaveformStorage, UID_CardiacElectrophysiologyWaveformStorage,
          UID_BasicVoiceAudioWaveformStorage, UID_GeneralAudioWaveformStorage,
          UID_ArterialPulseWaveformStorage, UID_RespiratoryWaveformStorage,
          UID_RoutineScalpElectroencephalogramWaveformStorage, UID_ElectromyogramWaveformStorage,
          UID_ElectrooculogramWaveformStorage, UID_SleepElectroencephalogramWaveformStorage,
          UID_MultichannelRespiratoryWaveformStorage, UID_BodyPositionWaveformStorage}},
        {ERT_RTDose, {UID_RTDoseStorage}},
        {ERT_RTStructureSet, {UID_RTStructureSetStorage}},
        {ERT_RTPlan, {UID_RTPlanStorage, UID_RTIonPlanStorage}},
        {ERT_RTTreatRecord,
         {UID_RTBeamsTreatmentRecordStorage, UID_RTBrachyTreatmentRecordStorage,
          UID_RTTreatmentSummaryRecordStorage, UID_RTIonBeamsTreatmentRecordStorage}},
        {ERT_StoredPrint, {UID_RETIRED_StoredPrintStorage}},
        {ERT_KeyObjectDoc, {UID_KeyObjectSelectionDocumentStorage}},
        {ERT_Registration, {UID_SpatialRegistrationStorage, UID_DeformableSpatialRegistrationStorage}},
        {ERT_Fiducial, {UID_SpatialFiducialsStorage}},
        {ERT_RawData, {UID_RawDataStorage}},
        {ERT_Spectroscopy, {UID_MRSpectroscopyStorage}},
        {ERT_EncapDoc,
         {UID_EncapsulatedPDFStorage, UID_EncapsulatedCDAStorage, UID_EncapsulatedSTLStorage,
          UID_EncapsulatedOBJStorage, UID_EncapsulatedMTLStorage}},
        {ERT_ValueMap, {UID_RealWorldValueMappingStorage}},
        {ERT_HangingProtocol, {UID_HangingProtocolStorage}},
        {ERT_Stereometric, {UID_StereometricRelationshipStorage}},
        {ERT_Palette, {UID_ColorPaletteStorage}},
        {ERT_Surface, {UID_SurfaceSegmentationStorage}},
        {ERT_Measurement,
         {UID_LensometryMeasurementsStorage, UID_AutorefractionMeasurementsStorage,
          UID_KeratometryMeasurementsStorage, UID_SubjectiveRefractionMeasurementsStorage,
          UID_VisualAcuityMeasurementsStorage, UID_OphthalmicAxialMeasurementsStorage,
          UID_IntraocularLensCalculationsStorage,
          UID_OphthalmicVisualFieldStaticPerimetryMeasurementsStorage}},
        // Templates hang below the root record, whatever their patient.
        {ERT_Implant, {UID_GenericImplantTemplateStorage}},
        {ERT_ImplantGroup, {UID_ImplantAssemblyTemplateStorage}},
        {ERT_ImplantAssy, {UID_ImplantTemplateGroupStorage}},
        {ERT_Plan,
         {UID_RTBeamsDeliveryInstructionStorage, UID_RTBrachyApplicationSetupDeliveryInstructionStorage}},
        {ERT_SurfaceScan, {UID_SurfaceScanMeshStorage, UID_SurfaceScanPointCloudStorage}},
        {ERT_Tract, {UID_TractographyResultsStorage}},
        {ERT_Assessment, {UID_ContentAssessmentResultsStorage}},
        {ERT_Radiotherapy,
         {UID_RTPhysicianIntentStorage, UID_RTSegmentAnnotationStorage, UID_RTRadiationSetStorage,
          UID_CArmPhotonElectronRadiationStorage, UID_TomotherapeuticRadiationStorage,
          UID_RoboticArmRadiationStorage, UID_RTRadiationRecordSetStorage,
          UID_RTRadiationSalvageRecordStorage, UID_TomotherapeuticRadiationRecordStorage,
          UID_CArmPhotonElectronRadiationRecordStorage, UID_RoboticRadiationRecordStorage,
          UID_RTRadiationSetDeliveryInstructionStorage, UID_RTTreatmentPreparationStorage}},
        {ERT_Annotation, {UID_MicroscopyBulkSimpleAnnotationsStorage}}};
    for (const auto &group : groups)
      for (const char *uid : group.second) made.emplace(uid, group.first);
    return made;
  }();
  const auto found = types.find(sopClass);
  return found == types.end() ? ERT_Image : found->second;
}

bool belowRoot(E_DirRecType type) {
  return type == ERT_HangingProtocol || type == ERT_Palette || type == ERT_Implant ||
         type == ERT_ImplantGroup || type == ERT_ImplantAssy;
}

// The number a record is placed among its siblings by; none (an empty key): appended.
DcmTagKey orderKey(E_DirRecType type) {
  switch (type) {
    case ERT_Patient:
    case ERT_Study:
    case ERT_Stereometric:
    case ERT_Plan:
    case ERT_HangingProtocol:
    case ERT_Palette:
    case ERT_Implant:
    case ERT_ImplantGroup:
    case ERT_ImplantAssy:
      return DcmTagKey();
    case ERT_Series:
      return DCM_SeriesNumber;
    case ERT_Overlay:
      return DCM_RETIRED_OverlayNumber;
    case ERT_Curve:
      return DCM_RETIRED_CurveNumber;
    case ERT_ModalityLut:
    case ERT_VoiLut:
      return DCM_RETIRED_LUTNumber;
    default:
      return DCM_InstanceNumber;
  }
}

std::string text(DcmItem *item, const DcmTagKey &key) {
  OFString value;
  item->findAndGetOFStringArray(key, value);
  return value.c_str();
}

// The records of one DICOMDIR, each found through a map. DCMTK's record
// makers, checks and value inventing are protected members: reached from here.
class DirectoryTree : public DicomDirInterface {
 public:
  DirectoryTree(const DirectoryProfile &profile, DcmDicomDir &directory) : root_(directory.getRootRecord()) {
    disableTransferSyntaxCheck(profile.transferSyntaxCheck);
    selectApplicationProfile(static_cast<E_ApplicationProfile>(profile.profile));
  }

  // As DicomDirInterface::addDicomFile, with the same records in the same order.
  OFCondition add(const DirectoryFile &file, const std::string &folder, bool invent) {
    // A dataset without file meta information is copied unchanged, as every
    // file is; DCMTK can still reference it once told not to insist on one.
    disableFileFormatCheck(file.metaHeader);
    // Missing type 1 values (a Study ID, a series number) are invented rather
    // than the file left out: the viewer needs every image in the directory.
    enableInventMode(invent);
    auto format = std::make_unique<DcmFileFormat>();
    OFCondition status = loadAndCheckDicomFile(file.path.c_str(), folder.c_str(), *format);
    if (status == EC_ApplicationProfileViolated && !invent) {
      // A missing value this DCMTK would invent that the export's reading did not look at.
      enableInventMode();
      format = std::make_unique<DcmFileFormat>();
      status = loadAndCheckDicomFile(file.path.c_str(), folder.c_str(), *format);
    }
    if (status.bad()) return status;
    OFFilename source;
    OFStandard::combineDirAndFilename(source, folder.c_str(), file.path.c_str(), OFTrue);
    source_ = source;
    fileId_ = dicomFileId(file.path);
    format_ = format.get();
    OFString sopClass;
    format->getMetaInfo()->findAndGetOFString(DCM_MediaStorageSOPClassUID, sopClass);
    const E_DirRecType type = recordTypeOf(sopClass.c_str());
    fresh_.clear();
    if (belowRoot(type)) {
      status = place(&root_, type) ? EC_Normal : EC_CorruptedData;
    } else {
      DcmDirectoryRecord *patient = place(&root_, ERT_Patient);
      DcmDirectoryRecord *study = patient ? place(patient, ERT_Study) : nullptr;
      DcmDirectoryRecord *series = study ? place(study, ERT_Series) : nullptr;
      if (!series || !place(series, type)) status = EC_CorruptedData;
      if (inventMode()) inventMissingValues();
    }
    format_ = nullptr;
    return status;
  }

 private:
  // The file's path as a DICOMDIR names it.
  static std::string dicomFileId(const std::string &path) {
    std::string id;
    for (char c : path)
      if (c == '/' || c == '\\')
        id += '\\';
      else if (g_ascii_isalnum(c) || c == '_')
        id += g_ascii_toupper(c);
    return id;
  }

  // What makes a record the same as the one the file would make: the
  // patient's ID (or name without one), the study's, the series' or the
  // object's UID. Empty: never the same as another.
  static std::string identity(DcmItem *item, E_DirRecType type, bool ofRecord) {
    auto keyed = [](const std::string &kind, const std::string &value) {
      return value.empty() ? value : kind + value;
    };
    switch (type) {
      case ERT_Patient:
        return item->tagExistsWithValue(DCM_PatientID) ? keyed("I", text(item, DCM_PatientID))
                                                       : keyed("N", text(item, DCM_PatientName));
      case ERT_Study:
        return text(item, DCM_StudyInstanceUID);
      case ERT_Series:
        return text(item, DCM_SeriesInstanceUID);
      default:
        return keyed(std::to_string(type) + " ",
                     text(item, ofRecord ? DCM_ReferencedSOPInstanceUIDInFile : DCM_SOPInstanceUID));
    }
  }

  // The keys a patient record answers to: its ID, and its name.
  void rememberPatient(DcmDirectoryRecord *record) {
    const std::string id = text(record, DCM_PatientID), name = text(record, DCM_PatientName);
    if (!id.empty()) known_[&root_].emplace("I" + id, record);
    if (!name.empty()) known_[&root_].emplace("N" + name, record);
  }

  void remember(DcmDirectoryRecord *parent, DcmDirectoryRecord *record) {
    if (record->getRecordType() == ERT_Patient) return rememberPatient(record);
    const std::string key = identity(record, record->getRecordType(), true);
    if (!key.empty()) known_[parent].emplace(key, record);
  }

  // The record below `parent` the file belongs to, made and inserted in its
  // place among its siblings when there is none yet.
  DcmDirectoryRecord *place(DcmDirectoryRecord *parent, E_DirRecType type) {
    DcmDataset *dataset = format_->getDataset();
    const std::string key = identity(dataset, type, false);
    auto &known = known_[parent];
    if (!key.empty()) {
      const auto found = known.find(key);
      if (found != known.end()) return found->second;
    }
    DcmDirectoryRecord *record = make(type);
    if (record == nullptr) return nullptr;
    if (record->isAffectedBySpecificCharacterSet())
      copyElementType1C(dataset, DCM_SpecificCharacterSet, record, source_);
    if (insert(parent, record).bad()) {
      delete record;
      return nullptr;
    }
    remember(parent, record);
    fresh_.emplace_back(parent, record);
    return record;
  }

  DcmDirectoryRecord *make(E_DirRecType type) {
    DcmFileFormat *f = format_;
    const OFString &id = fileId_;
    const OFFilename &s = source_;
    switch (type) {
      // clang-format off
      case ERT_Patient: return buildPatientRecord(nullptr, f, s);
      case ERT_Study: return buildStudyRecord(nullptr, f, s);
      case ERT_Series: return buildSeriesRecord(nullptr, f, s);
      case ERT_Overlay: return buildOverlayRecord(nullptr, f, id, s);
      case ERT_ModalityLut: return buildModalityLutRecord(nullptr, f, id, s);
      case ERT_VoiLut: return buildVoiLutRecord(nullptr, f, id, s);
      case ERT_Curve: return buildCurveRecord(nullptr, f, id, s);
      case ERT_SRDocument: return buildStructReportRecord(nullptr, f, id, s);
      case ERT_Presentation: return buildPresentationRecord(nullptr, f, id, s);
      case ERT_Waveform: return buildWaveformRecord(nullptr, f, id, s);
      case ERT_RTDose: return buildRTDoseRecord(nullptr, f, id, s);
      case ERT_RTStructureSet: return buildRTStructureSetRecord(nullptr, f, id, s);
      case ERT_RTPlan: return buildRTPlanRecord(nullptr, f, id, s);
      case ERT_RTTreatRecord: return buildRTTreatmentRecord(nullptr, f, id, s);
      case ERT_StoredPrint: return buildStoredPrintRecord(nullptr, f, id, s);
      case ERT_KeyObjectDoc: return buildKeyObjectDocRecord(nullptr, f, id, s);
      case ERT_Registration: return buildRegistrationRecord(nullptr, f, id, s);
      case ERT_Fiducial: return buildFiducialRecord(nullptr, f, id, s);
      case ERT_RawData: return buildRawDataRecord(nullptr, f, id, s);
      case ERT_Spectroscopy: return buildSpectroscopyRecord(nullptr, f, id, s);
      case ERT_EncapDoc: return buildEncapDocRecord(nullptr, f, id, s);
      case ERT_ValueMap: return buildValueMapRecord(nullptr, f, id, s);
      case ERT_HangingProtocol: return buildHangingProtocolRecord(nullptr, f, id, s);
      case ERT_Stereometric: return buildStereometricRecord(nullptr, f, id, s);
      case ERT_Palette: return buildPaletteRecord(nullptr, f, id, s);
      case ERT_Surface: return buildSurfaceRecord(nullptr, f, id, s);
      case ERT_Measurement: return buildMeasurementRecord(nullptr, f, id, s);
      case ERT_Implant: return buildImplantRecord(nullptr, f, id, s);
      case ERT_ImplantGroup: return buildImplantGroupRecord(nullptr, f, id, s);
      case ERT_ImplantAssy: return buildImplantAssyRecord(nullptr, f, id, s);
      case ERT_Plan: return buildPlanRecord(nullptr, f, id, s);
      case ERT_SurfaceScan: return buildSurfaceScanRecord(nullptr, f, id, s);
      case ERT_Tract: return buildTractRecord(nullptr, f, id, s);
      case ERT_Assessment: return buildAssessmentRecord(nullptr, f, id, s);
      case ERT_Radiotherapy: return buildRadiotherapyRecord(nullptr, f, id, s);
      case ERT_Annotation: return buildAnnotationRecord(nullptr, f, id, s);
      default: return buildImageRecord(nullptr, f, id, s);
        // clang-format on
    }
  }

  // Before the first sibling with a greater number, else at the end, as
  // DCMTK places it. Files come in disc order, numbers rising: the greatest
  // number so far tells in one look that the record goes at the end.
  OFCondition insert(DcmDirectoryRecord *parent, DcmDirectoryRecord *record) {
    const DcmTagKey key = orderKey(record->getRecordType());
    Sint32 number = 0;
    if (key == DcmTagKey() || record->findAndGetSint32(key, number).bad()) return parent->insertSub(record);
    Greatest &greatest = greatest_[parent];
    if (!greatest.any || number >= greatest.number) {
      greatest = {true, number};
      return parent->insertSub(record);
    }
    DcmDirectoryRecord *sibling = nullptr;
    Sint32 other = 0;
    while ((sibling = parent->nextSub(sibling)) != nullptr)
      if (sibling->findAndGetSint32(key, other).good() && other > number)
        return parent->insertSubAtCurrentPos(record, OFTrue);
    return parent->insertSub(record);
  }

  // DCMTK fills the values still missing in the whole tree after each file
  // added so; every record made before the last such file already has them,
  // so only this file's new records can lack any.
  void inventMissingValues() {
    for (const auto &made : fresh_) {
      DcmDirectoryRecord *record = made.second;
      const E_DirRecType type = record->getRecordType();
      DcmTagKey key;
      unsigned long *counter = nullptr;
      const char *prefix = nullptr;
      switch (type) {
        case ERT_Patient:
          key = DCM_PatientID, counter = &patients_, prefix = "DCMTKPAT";
          break;
        case ERT_Study:
          key = DCM_StudyID, counter = &studies_, prefix = "DCMTKSTUDY";
          break;
        case ERT_Series:
          key = DCM_SeriesNumber, counter = &series_;
          break;
        case ERT_Image:
        case ERT_RTDose:
        case ERT_RTStructureSet:
        case ERT_RTPlan:
        case ERT_StoredPrint:
        case ERT_Surface:
          key = DCM_InstanceNumber, counter = &instances_;
          break;
        case ERT_Overlay:
          key = DCM_RETIRED_OverlayNumber, counter = &overlays_;
          break;
        case ERT_ModalityLut:
        case ERT_VoiLut:
          key = DCM_RETIRED_LUTNumber, counter = &lookupTables_;
          break;
        case ERT_Curve:
          key = DCM_RETIRED_CurveNumber, counter = &curves_;
          break;
        default:
          break;
      }
      if (counter == nullptr || record->tagExistsWithValue(key)) continue;
      setDefaultValue(record, key, (*counter)++, prefix);
      if (type == ERT_Patient) rememberPatient(record);
      // Placing later siblings looks at the invented number too.
      Sint32 number = 0;
      Greatest &greatest = greatest_[made.first];
      if (key == orderKey(type) && record->findAndGetSint32(key, number).good() &&
          (!greatest.any || number > greatest.number))
        greatest = {true, number};
    }
  }

  struct Greatest {
    bool any = false;
    Sint32 number = 0;
  };

  DcmDirectoryRecord &root_;
  std::unordered_map<DcmDirectoryRecord *, std::unordered_map<std::string, DcmDirectoryRecord *>> known_;
  std::unordered_map<DcmDirectoryRecord *, Greatest> greatest_;
  std::vector<std::pair<DcmDirectoryRecord *, DcmDirectoryRecord *>> fresh_;  // (parent, record) of this file
  DcmFileFormat *format_ = nullptr;
  OFString fileId_;
  OFFilename source_;
  // DCMTK's first invented numbers.
  unsigned long patients_ = 0, studies_ = 0, series_ = 0, instances_ = 1, overlays_ = 1, lookupTables_ = 1,
                curves_ = 1;
};

// A new DICOMDIR written as DcmDicomDir::write writes it, byte for byte,
// with each level's records visited in turn rather than looked up by index.
class DirectoryFileSet : public DcmDicomDir {
 public:
  using DcmDicomDir::DcmDicomDir;

  OFCondition writeNew() {
    const E_TransferSyntax syntax = DICOMDIR_DEFAULT_TRANSFERSYNTAX;
    const E_EncodingType encoding = EET_UndefinedLength;
    OFFilename temporary;
    OFStandard::appendFilenameExtension(temporary, getDirFileName(), DICOMDIR_TEMP_SUFFIX);
    DcmDataset &dataset = getDataset();
    DcmMetaInfo &meta = *getDirFileFormat().getMetaInfo();
    DcmSequenceOfItems &records = getDirRecSeq(dataset);
    insertMediaSOPUID(meta);
    getDirFileFormat().validateMetaInfo(syntax, EWM_fileformat);
    OFCondition status = EC_Normal;
    {
      DcmOutputFileStream out(temporary);
      if (!out.good()) return out.status();
      DcmWriteCache cache;
      meta.transferInit();
      status = meta.write(out, META_HEADER_DEFAULT_TRANSFERSYNTAX, encoding, &cache);
      meta.transferEnd();
      const Uint32 start = static_cast<Uint32>(out.tell());
      DcmDirectoryRecord *first = nullptr, *last = nullptr;
      linkLevel(&getRootRecord(), records, &first, &last);
      if (DcmUnsignedLongOffset *offset =
              lookForOffsetElem(&dataset, DCM_OffsetOfTheFirstDirectoryRecordOfTheRootDirectoryEntity))
        offset->setNextRecord(first);
      if (DcmUnsignedLongOffset *offset =
              lookForOffsetElem(&dataset, DCM_OffsetOfTheLastDirectoryRecordOfTheRootDirectoryEntity))
        offset->setNextRecord(last);
      dataset.computeGroupLengthAndPadding(EGL_withoutGL, EPD_noChange, syntax, encoding);
      if (convertAllPointer(dataset, start, syntax, encoding) == EC_InvalidVR &&
          convertAllPointer(dataset, start, syntax, encoding) == EC_InvalidVR)
        status = EC_CorruptedData;
      if (status.good()) {
        dataset.transferInit();
        status = dataset.write(out, syntax, encoding, &cache, EGL_noChange);
        dataset.transferEnd();
      }
      if (status.good()) status = out.status();
    }
    // The records belong to the tree; the flat sequence only lent them out.
    while (records.card() > 0) records.remove(0UL);
    if (status.good() && !OFStandard::renameFile(temporary, getDirFileName()))
      status =
          makeOFCondition(OFM_dcmdata, 19, OF_error, OFStandard::getLastSystemErrorCode().message().c_str());
    if (status.bad()) OFStandard::deleteFile(temporary);
    return status;
  }

 private:
  // Puts the records below `parent` in front of `flat`, each followed by
  // those below it, each pointing at its next sibling and its first child;
  // `first` and `last` of this level.
  void linkLevel(DcmDirectoryRecord *parent, DcmSequenceOfItems &flat, DcmDirectoryRecord **first,
                 DcmDirectoryRecord **last) {
    std::vector<DcmDirectoryRecord *> level;
    for (DcmDirectoryRecord *sub = parent->nextSub(nullptr); sub != nullptr; sub = parent->nextSub(sub))
      level.push_back(sub);
    *last = level.empty() ? nullptr : level.back();
    DcmDirectoryRecord *next = nullptr;
    // From the last: each record's next sibling is linked before it.
    for (auto it = level.rbegin(); it != level.rend(); ++it) {
      DcmDirectoryRecord *record = *it;
      auto *nextOffset = new DcmUnsignedLongOffset(DcmTag(DCM_OffsetOfTheNextDirectoryRecord));
      nextOffset->putUint32(0);
      nextOffset->setNextRecord(next);
      record->insert(nextOffset, OFTrue);
      DcmDirectoryRecord *child = nullptr, *lastChild = nullptr;
      linkLevel(record, flat, &child, &lastChild);
      auto *lowerOffset = new DcmUnsignedLongOffset(DcmTag(DCM_OffsetOfReferencedLowerLevelDirectoryEntity));
      lowerOffset->putUint32(0);
      lowerOffset->setNextRecord(child);
      record->insert(lowerOffset, OFTrue);
      flat.prepend(record);
      next = record;
    }
    *first = next;
  }
};

}  // namespace

DirectoryProfile chooseProfile(const std::set<std::string> &transferSyntaxes) {
  auto within = [&](std::initializer_list<const char *> allowed) {
    return std::all_of(transferSyntaxes.begin(), transferSyntaxes.end(), [&](const std::string &uid) {
      return std::any_of(allowed.begin(), allowed.end(), [&](const char *one) { return uid == one; });
    });
  };
  if (within({UID_LittleEndianExplicitTransferSyntax}))
    return {DicomDirInterface::AP_GeneralPurpose, "STD-GEN-CD", true};
  if (within({UID_LittleEndianExplicitTransferSyntax, UID_JPEGProcess1TransferSyntax,
              UID_JPEGProcess2_4TransferSyntax, UID_JPEGProcess14SV1TransferSyntax}))
    return {DicomDirInterface::AP_GeneralPurposeDVDJPEG, "STD-GEN-DVD-JPEG", true};
  if (within({UID_LittleEndianExplicitTransferSyntax, UID_JPEG2000LosslessOnlyTransferSyntax,
              UID_JPEG2000TransferSyntax}))
    return {DicomDirInterface::AP_GeneralPurposeDVDJPEG2000, "STD-GEN-DVD-JPEG2000", true};
  return {DicomDirInterface::AP_GeneralPurpose, "STD-GEN-CD (transfer syntax check relaxed)", false};
}

bool writeDicomDirectory(const std::string &root, const std::vector<DirectoryFile> &files,
                         const DirectoryProfile &profile, const std::string &filesetId,
                         std::vector<std::string> *refused, std::string *error,
                         const std::function<bool(size_t)> &ready) {
  const std::string path = root + "/DICOMDIR";
  DirectoryFileSet directory(path.c_str(), filesetId.c_str());
  OFCondition status = directory.error();
  DirectoryTree tree(profile, directory);
  for (size_t i = 0; status.good() && i < files.size(); ++i) {
    if (ready && !ready(i)) {
      *error = path + ": not every file was copied";
      return false;
    }
    // The last file invents too: what the others left missing is filled then.
    const OFCondition added = tree.add(files[i], root, !files[i].keys || i + 1 == files.size());
    if (added.bad()) refused->push_back(files[i].path + ": " + added.text());
  }
  if (status.good()) status = directory.writeNew();
  if (status.bad()) {
    *error = path + ": " + status.text();
    return false;
  }
  return true;
}

}  // namespace makedisc
