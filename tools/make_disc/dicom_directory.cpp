// DICOMDIR writing. May run on any thread, beside the picture workers: it
// reads the copied files only, as they are finished, and decodes nothing.
#include "dicom_directory.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcddirif.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <algorithm>

namespace makedisc {

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
  DicomDirInterface directory;
  directory.disableTransferSyntaxCheck(profile.transferSyntaxCheck);
  // Its only outcome is a warning per record, which the log level hides, and
  // it compares every file with the records above it: a sixth of the work.
  directory.disableConsistencyCheck();
  const std::string path = root + "/DICOMDIR";
  OFCondition status = directory.createNewDicomDir(
      static_cast<DicomDirInterface::E_ApplicationProfile>(profile.profile), path.c_str(), filesetId.c_str());
  for (size_t i = 0; status.good() && i < files.size(); ++i) {
    if (ready && !ready(i)) {
      *error = path + ": not every file was copied";
      return false;
    }
    // A dataset without file meta information is copied unchanged, as every
    // file is; DCMTK can still reference it once told not to insist on one.
    directory.disableFileFormatCheck(files[i].metaHeader);
    // Missing type 1 values (a Study ID, a series number) are invented rather
    // than the file left out: the viewer needs every image in the directory.
    // Inventing walks every record made so far after each file, so only the
    // files that need it are added so, and the last one for a pass over the
    // whole tree: the work would otherwise grow with the square of the files.
    directory.enableInventMode(!files[i].keys || i + 1 == files.size());
    OFCondition added = directory.addDicomFile(files[i].path.c_str(), root.c_str());
    if (added == EC_ApplicationProfileViolated && !directory.inventMode()) {
      // A missing value this DCMTK would invent that the export's reading did not look at.
      directory.enableInventMode();
      added = directory.addDicomFile(files[i].path.c_str(), root.c_str());
    }
    if (added.bad()) refused->push_back(files[i].path + ": " + added.text());
  }
  if (status.good()) status = directory.writeDicomDir();
  if (status.bad()) {
    *error = path + ": " + status.text();
    return false;
  }
  return true;
}

}  // namespace makedisc
