// Reads a DICOM export by content. Every function here may run on any thread.
#include "export_reading.h"

#include "catalogue/dicom_text.h"
#include "catalogue/worker_pool.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <boost/filesystem.hpp>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <memory>

namespace fs = boost::filesystem;

namespace makedisc {

namespace {

// Values longer than this stay in the file; the disc needs only short ones.
const Uint32 kReadLength = 256;

enum class Kind { NotDicom, PartTen, BareDataset, Unreadable };

// A Part 10 file says so at byte 128; a dataset written without file meta
// information starts with a tag of the identifying groups, in either byte order.
Kind guessKind(const std::string &path) {
  const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return Kind::Unreadable;
  unsigned char head[132] = {};
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t now = read(in, head + got, sizeof head - got);
    if (now < 0 && errno == EINTR) continue;
    if (now < 0) {
      close(in);
      return Kind::Unreadable;
    }
    if (now == 0) break;
    got += static_cast<size_t>(now);
  }
  close(in);
  if (got == sizeof head && std::equal(head + 128, head + 132, "DICM")) return Kind::PartTen;
  if (got < 8) return Kind::NotDicom;
  const unsigned little = head[0] | (head[1] << 8), big = (head[0] << 8) | head[1];
  if (little == 0x0008 || little == 0x0002 || big == 0x0008) return Kind::BareDataset;
  return Kind::NotDicom;
}

std::string text(DcmItem *item, const DcmTagKey &tag) {
  OFString value;
  if (item->findAndGetOFStringArray(tag, value).bad()) return "";
  return std::string(value.c_str(), value.length());
}

bool number(DcmItem *item, const DcmTagKey &tag, long *value) {
  Sint32 read = 0;
  if (item->findAndGetSint32(tag, read).bad()) return false;
  *value = read;
  return true;
}

// A DICOMDIR names its files with upper-case ISO 9660 components; a disc
// mounted on Linux may show them in lower case.
bool referenceExists(const fs::path &folder, const std::string &referencedFileId) {
  std::vector<std::string> components;
  size_t start = 0;
  for (size_t at = referencedFileId.find('\\');; at = referencedFileId.find('\\', start)) {
    components.push_back(referencedFileId.substr(start, at == std::string::npos ? at : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  fs::path exact = folder, lower = folder;
  for (const std::string &component : components) {
    if (component.empty() || component == "." || component == "..") return false;
    exact /= component;
    std::unique_ptr<gchar, decltype(&g_free)> down(g_ascii_strdown(component.c_str(), -1), g_free);
    lower /= down.get();
  }
  boost::system::error_code failure;
  return fs::is_regular_file(exact, failure) || fs::is_regular_file(lower, failure) ||
         fs::is_regular_file(exact.string() + ".", failure);
}

void checkReferences(const std::string &path, DcmDataset *dataset, std::vector<std::string> *missing) {
  DcmSequenceOfItems *records = nullptr;
  if (dataset->findAndGetSequence(DCM_DirectoryRecordSequence, records).bad() || records == nullptr) return;
  const fs::path folder = fs::path(path).parent_path();
  for (unsigned long i = 0; i < records->card(); ++i) {
    const std::string reference = text(records->getItem(i), DCM_ReferencedFileID);
    if (!reference.empty() && !referenceExists(folder, reference))
      missing->push_back(path + ": " + reference);
  }
}

}  // namespace

bool readExportFile(const std::string &path, ExportFile *file, bool *isDirectory,
                    std::vector<std::string> *missing, bool *unreadable) {
  *isDirectory = false;
  const Kind kind = guessKind(path);
  if (unreadable != nullptr) *unreadable = kind == Kind::Unreadable;
  if (kind == Kind::NotDicom || kind == Kind::Unreadable) return false;
  DcmFileFormat format;
  if (format
          .loadFile(path.c_str(), EXS_Unknown, EGL_noChange, kReadLength,
                    kind == Kind::PartTen ? ERM_fileOnly : ERM_dataset)
          .bad())
    return false;
  DcmDataset *dataset = format.getDataset();
  DcmMetaInfo *meta = format.getMetaInfo();
  if (kind == Kind::PartTen && text(meta, DCM_MediaStorageSOPClassUID) == UID_MediaStorageDirectoryStorage) {
    *isDirectory = true;
    // The records' values are short and were read; the icons are not needed.
    checkReferences(path, dataset, missing);
    return true;
  }
  *file = ExportFile();
  file->path = path;
  file->sopClassUid = text(dataset, DCM_SOPClassUID);
  file->sopInstanceUid = text(dataset, DCM_SOPInstanceUID);
  file->studyUid = text(dataset, DCM_StudyInstanceUID);
  // Random bytes can parse as a dataset: an object without its identity is not one.
  if (file->sopClassUid.empty() || file->sopInstanceUid.empty()) return false;
  file->characterSet = text(dataset, DCM_SpecificCharacterSet);
  file->patientId = text(dataset, DCM_PatientID);
  file->patientName = text(dataset, DCM_PatientName);
  file->studyDate = text(dataset, DCM_StudyDate);
  file->studyTime = text(dataset, DCM_StudyTime);
  file->studyDescription = text(dataset, DCM_StudyDescription);
  file->seriesUid = text(dataset, DCM_SeriesInstanceUID);
  file->hasSeriesNumber = number(dataset, DCM_SeriesNumber, &file->seriesNumber);
  file->modality = text(dataset, DCM_Modality);
  file->hasInstanceNumber = number(dataset, DCM_InstanceNumber, &file->instanceNumber);
  file->metaHeader = kind == Kind::PartTen;
  file->transferSyntaxUid =
      file->metaHeader ? text(meta, DCM_TransferSyntaxUID) : DcmXfer(dataset->getOriginalXfer()).getXferID();
  file->pixelData = dataset->tagExists(DCM_PixelData) || dataset->tagExists(DCM_FloatPixelData) ||
                    dataset->tagExists(DCM_DoubleFloatPixelData);
  file->directoryKeys = true;
  for (const DcmTagKey &tag :
       {DCM_PatientID, DCM_StudyDate, DCM_StudyTime, DCM_StudyID, DCM_SeriesNumber, DCM_InstanceNumber})
    file->directoryKeys = file->directoryKeys && dataset->tagExistsWithValue(tag);
  long frames = 1;
  // A damaged count must not make a million empty picture names.
  if (number(dataset, DCM_NumberOfFrames, &frames) && frames > 1) file->frames = std::min(frames, 100000L);
  for (const auto &field :
       {std::make_pair(DCM_Rows, &file->rows), std::make_pair(DCM_Columns, &file->columns),
        std::make_pair(DCM_SamplesPerPixel, &file->samplesPerPixel),
        std::make_pair(DCM_BitsAllocated, &file->bitsAllocated)}) {
    Uint16 value = 0;
    if (dataset->findAndGetUint16(field.first, value).good()) *field.second = value;
  }
  DcmElement *pixels = nullptr;
  // The value's length is known from its header also when the value was not read.
  if (dataset->findAndGetElement(DCM_PixelData, pixels).good() && pixels != nullptr)
    file->pixelDataLength = pixels->getLengthField();
  return true;
}

ExportScan scanExport(const std::vector<std::string> &sources, WorkerPool &pool,
                      const std::function<void(size_t, size_t)> &progress, const std::atomic<bool> *cancel) {
  ExportScan scan;
  auto cancelled = [cancel] { return cancel != nullptr && *cancel; };
  std::vector<std::string> paths;
  for (const std::string &source : sources) {
    boost::system::error_code failure;
    const fs::file_status status = fs::status(source, failure);
    if (fs::is_regular_file(status)) {
      paths.push_back(source);
      continue;
    }
    if (!fs::is_directory(status)) {
      scan.unreadable.push_back(source);
      continue;
    }
    // A folder that cannot be listed (a stick's "System Volume Information")
    // is noted and passed over: the rest of the export is still read.
    std::vector<std::string> found, folders{source};
    while (!folders.empty() && !cancelled()) {
      const std::string folder = folders.back();
      folders.pop_back();
      fs::directory_iterator it(folder, failure), end;
      for (; !failure && it != end && !cancelled(); it.increment(failure)) {
        boost::system::error_code entryFailure;
        const fs::file_status link = it->symlink_status(entryFailure);
        if (fs::is_directory(link))
          folders.push_back(it->path().string());
        else if (fs::is_regular_file(it->path(), entryFailure))
          found.push_back(it->path().string());
      }
      if (failure) scan.unreadable.push_back(folder + "/");
    }
    // Listing order differs between file systems; the disc must not.
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
  }
  if (cancelled()) return scan;

  std::vector<ExportFile> files(paths.size());
  std::vector<char> kinds(paths.size(), 0);  // 0 not DICOM, 1 object, 2 DICOMDIR, 3 unreadable
  std::vector<std::vector<std::string>> missing(paths.size());
  pool.forEach(
      paths.size(),
      [&](size_t i) {
        bool isDirectory = false, unreadable = false;
        if (readExportFile(paths[i], &files[i], &isDirectory, &missing[i], &unreadable))
          kinds[i] = isDirectory ? 2 : 1;
        else if (unreadable)
          kinds[i] = 3;
      },
      progress, cancel);
  for (size_t i = 0; i < paths.size(); ++i) {
    if (kinds[i] == 3) {
      scan.unreadable.push_back(paths[i]);
    } else if (kinds[i] == 1) {
      scan.files.push_back(std::move(files[i]));
    } else if (kinds[i] == 2) {
      ++scan.directories;
      scan.missingReferences.insert(scan.missingReferences.end(), missing[i].begin(), missing[i].end());
    } else {
      ++scan.otherFiles;
      if (scan.otherExamples.size() < 5) scan.otherExamples.push_back(paths[i]);
    }
  }
  return scan;
}

std::string readableName(const ExportFile &file) {
  DicomTextDecoder decoder;
  decoder.select(file.characterSet);
  return decoder.decodePersonName(file.patientName.c_str());
}

}  // namespace makedisc
