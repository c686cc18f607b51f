// Building the examination: the DICOMDIR's records in their depth-first order
// (patient, its studies, their series, their images), or the files' own
// attributes when there is no usable DICOMDIR.
#include "imaging/examination.h"

#include "catalogue/bounded_dicom_stream.h"
#include "catalogue/dicom_text.h"
#include "imaging/dicom_image_file.h"
#include "platform/directories.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcsequen.h>

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace {

const DicomReadLimits kDirectoryLimits{256 << 20, 20000000, 256 * 1024, 10 * G_USEC_PER_SEC};

std::string joined(const std::string &folder, const std::string &name) {
  return folder.empty() || folder == "." ? name : folder + "/" + name;
}

bool isDirectory(const std::string &path) { return g_file_test(path.c_str(), G_FILE_TEST_IS_DIR); }
bool isRegularFile(const std::string &path) { return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR); }

std::string textOf(DcmItem &item, const DcmTagKey &tag, DicomTextDecoder &decoder,
                   const char *delimiters = "\\") {
  const char *value = nullptr;
  DcmElement *element = nullptr;
  if (item.findAndGetElement(tag, element).bad() || element->getLength() > 1024 ||
      item.findAndGetString(tag, value).bad())
    return {};
  return decoder.decode(value, delimiters);
}

// A component of a Referenced File ID, found in `folder` exactly or, on a disc
// mounted with other letter cases, ignoring case.
std::string componentIn(const std::string &folder, const std::string &name) {
  const std::string exact = joined(folder, name);
  if (g_file_test(exact.c_str(), G_FILE_TEST_EXISTS)) return exact;
  GDir *raw = g_dir_open(folder.empty() ? "." : folder.c_str(), 0, nullptr);
  if (raw == nullptr) return exact;
  std::string found = exact;
  while (const char *entry = g_dir_read_name(raw))
    if (g_ascii_strcasecmp(entry, name.c_str()) == 0) {
      found = joined(folder, entry);
      break;
    }
  g_dir_close(raw);
  return found;
}

// The files the records of one DICOMDIR name. Resolving each file's whole
// path would cost a system call per folder of it for every one of thousands of
// records: each folder is found and resolved once, and a file that is a plain
// file in a folder inside the medium costs one look at itself.
class ReferenceResolver {
 public:
  // `folder`: the DICOMDIR's folder; `root`: the same, resolved.
  ReferenceResolver(std::string folder, std::string root)
      : folder_(std::move(folder)), root_(std::move(root)) {}

  // The file a record names, or empty with `problem` set when it names none
  // inside the root.
  std::string fileOf(DcmItem &record, std::string &problem) {
    OFString id;
    if (record.findAndGetOFStringArray(DCM_ReferencedFileID, id).bad() || id.empty()) {
      problem = "rekord obrazu bez nazwy pliku";
      return {};
    }
    const std::string text(id.c_str());
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\\', start);
      if (end == std::string::npos) end = text.size();
      std::string component = text.substr(start, end - start);
      if (component.empty() || component == "." || component == ".." ||
          component.find('/') != std::string::npos || component.find(':') != std::string::npos) {
        problem = "DICOMDIR wskazuje plik poza nośnikiem: „" + text + "”";
        return {};
      }
      components.push_back(std::move(component));
      start = end + 1;
    }
    const std::string name = components.back();
    components.pop_back();
    const Folder &folder = folderOf(components);
    if (folder.within) {
      const std::string path = joined(folder.path, name);
      GStatBuf status;
      if (g_lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) return path;
    }
    // A link, another letter case or a folder outside: the whole path is resolved.
    std::string path = folder.path;
    path = componentIn(path, name);
    const std::string resolved = platform::resolvedPath(path);
    if (resolved.empty() || !isRegularFile(resolved)) {
      problem = "brak pliku „" + text + "”";
      return {};
    }
    if (!platform::resolvedPathWithin(resolved, root_)) {
      problem = "DICOMDIR wskazuje plik poza nośnikiem: „" + text + "”";
      return {};
    }
    return path;
  }

 private:
  struct Folder {
    std::string path;     // as found, below the DICOMDIR's folder
    bool within = false;  // a folder that resolves inside the root
  };

  const Folder &folderOf(const std::vector<std::string> &components) {
    std::string key;
    for (const std::string &component : components) key += component + '\n';
    auto found = folders_.find(key);
    if (found != folders_.end()) return found->second;
    Folder folder;
    folder.path = folder_;
    for (const std::string &component : components) folder.path = componentIn(folder.path, component);
    const std::string resolved = platform::resolvedPath(folder.path.empty() ? "." : folder.path);
    folder.within =
        !resolved.empty() && isDirectory(resolved) && platform::resolvedPathWithin(resolved, root_);
    return folders_.emplace(key, std::move(folder)).first->second;
  }

  std::string folder_, root_;
  std::map<std::string, Folder> folders_;
};

// The order of files in a series: instance number, then position along the
// slice normal is not known here; the number is what every writer sets.
struct Ordered {
  int instance;
  std::string path;
  long frames;
};

void finishSeries(ExaminationSeries &series, std::vector<Ordered> &images, size_t refused) {
  std::stable_sort(images.begin(), images.end(),
                   [](const Ordered &a, const Ordered &b) { return a.instance < b.instance; });
  for (const Ordered &image : images) {
    series.files.push_back(image.path);
    series.frameCounts.push_back(std::max(1L, image.frames));
  }
  if (series.files.empty())
    series.problem = refused > 0 ? "żaden plik serii nie jest dostępny" : "seria bez obrazów";
}

// Fills empty series descriptions from the series' first file.
void describeFromFirstFiles(Examination &examination) {
  for (auto &patient : examination.patients)
    for (auto &study : patient.studies)
      for (auto &series : study.series) {
        if (!series.description.empty() || series.files.empty()) continue;
        ImageAttributes attributes;
        std::string problem;
        if (readImageAttributes(series.files.front(), attributes, problem)) {
          series.description = attributes.seriesDescription;
          if (series.date.empty()) series.date = study.date;
        }
      }
}

}  // namespace

long ExaminationSeries::imageCount() const {
  long count = 0;
  for (long frames : frameCounts) count += frames;
  return count;
}

SeriesSlice ExaminationSeries::slice(long index) const {
  for (size_t i = 0; i < files.size(); ++i) {
    if (index < frameCounts[i]) return {files[i], index};
    index -= frameCounts[i];
  }
  return {};
}

void ExaminationSeries::setFrameCount(size_t file, long frames) {
  if (file < frameCounts.size() && frames >= 1) frameCounts[file] = frames;
}

std::vector<const ExaminationSeries *> Examination::allSeries() const {
  std::vector<const ExaminationSeries *> all;
  for (const auto &patient : patients)
    for (const auto &study : patient.studies)
      for (const auto &series : study.series) all.push_back(&series);
  return all;
}

bool readDicomDirectory(const std::string &path, Examination &examination) {
  DcmFileFormat file;
  {
    BoundedDicomStream stream(path.c_str(), kDirectoryLimits,
                              static_cast<const char *>(__builtin_frame_address(0)));
    if (stream.status().bad()) return false;
    file.transferInit();
    OFCondition result = file.read(stream, EXS_Unknown, EGL_noChange, 4096);
    file.transferEnd();
    if (stream.stopped() || result.bad()) return false;
  }
  DcmDataset &dataset = *file.getDataset();
  DcmSequenceOfItems *records = nullptr;
  if (dataset.findAndGetSequence(DCM_DirectoryRecordSequence, records).bad() || records == nullptr)
    return false;
  char *folderText = g_path_get_dirname(path.c_str());
  const std::string folder = folderText;
  g_free(folderText);
  const std::string root = platform::resolvedPath(folder);
  DicomTextDecoder decoder;
  decoder.selectFor(dataset);

  Examination result;
  std::vector<Ordered> images;
  size_t refused = 0;
  auto closeSeries = [&] {
    if (result.patients.empty() || result.patients.back().studies.empty() ||
        result.patients.back().studies.back().series.empty())
      return;
    ExaminationSeries &series = result.patients.back().studies.back().series.back();
    if (series.files.empty() && series.problem.empty()) finishSeries(series, images, refused);
    images.clear();
    refused = 0;
  };
  size_t misplaced = 0;
  ReferenceResolver references(folder, root);
  // Walked in order: reaching a record by its number walks the list from its start.
  for (DcmObject *object = records->nextInContainer(nullptr); object != nullptr;
       object = records->nextInContainer(object)) {
    DcmItem *record = dynamic_cast<DcmItem *>(object);
    OFString type;
    if (record == nullptr || record->findAndGetOFString(DCM_DirectoryRecordType, type).bad()) continue;
    if (type == "PATIENT") {
      closeSeries();
      ExaminationPatient patient;
      patient.name = textOf(*record, DCM_PatientName, decoder, "\\^=");
      patient.id = textOf(*record, DCM_PatientID, decoder);
      patient.birthDate = textOf(*record, DCM_PatientBirthDate, decoder);
      result.patients.push_back(std::move(patient));
    } else if (type == "STUDY") {
      closeSeries();
      if (result.patients.empty()) result.patients.emplace_back();
      ExaminationStudy study;
      study.uid = textOf(*record, DCM_StudyInstanceUID, decoder);
      study.date = textOf(*record, DCM_StudyDate, decoder);
      study.description = textOf(*record, DCM_StudyDescription, decoder);
      result.patients.back().studies.push_back(std::move(study));
    } else if (type == "SERIES") {
      closeSeries();
      if (result.patients.empty()) result.patients.emplace_back();
      if (result.patients.back().studies.empty()) result.patients.back().studies.emplace_back();
      ExaminationSeries series;
      series.uid = textOf(*record, DCM_SeriesInstanceUID, decoder);
      series.modality = textOf(*record, DCM_Modality, decoder);
      series.description = textOf(*record, DCM_SeriesDescription, decoder);
      series.date = textOf(*record, DCM_SeriesDate, decoder);
      if (series.date.empty()) series.date = result.patients.back().studies.back().date;
      Sint32 number = 0;
      if (record->findAndGetSint32(DCM_SeriesNumber, number).good()) series.number = number;
      result.patients.back().studies.back().series.push_back(std::move(series));
    } else if (type == "IMAGE") {
      if (result.patients.empty() || result.patients.back().studies.empty() ||
          result.patients.back().studies.back().series.empty()) {
        ++misplaced;
        continue;
      }
      std::string problem;
      std::string image = references.fileOf(*record, problem);
      if (image.empty()) {
        ++refused;
        if (result.problems.size() < 100) result.problems.push_back(problem);
        continue;
      }
      Sint32 instance = 0, frames = 1;
      record->findAndGetSint32(DCM_InstanceNumber, instance);
      if (record->findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
      images.push_back({instance, image, std::min<long>(frames, kMostFramesPerFile)});
    }
  }
  closeSeries();
  if (misplaced > 0)
    result.problems.push_back("DICOMDIR: " + std::to_string(misplaced) +
                              " rekordów obrazów poza serią pominięto");
  if (result.patients.empty()) return false;
  describeFromFirstFiles(result);
  examination = std::move(result);
  return true;
}

namespace {

struct FileGrouping {
  // Patient ID, study UID, series UID -> the series' images.
  std::map<std::tuple<std::string, std::string, std::string>, std::vector<Ordered>> images;
  std::map<std::tuple<std::string, std::string, std::string>, ImageAttributes> first;
  std::vector<std::string> problems;

  void add(const std::string &path, bool reportEveryFailure) {
    ImageAttributes attributes;
    std::string problem;
    if (!readImageAttributes(path, attributes, problem)) {
      // A scan meets reports and pictures too: only a DICOM file that cannot
      // be shown is worth a line.
      if ((reportEveryFailure || problem != "to nie jest poprawny plik DICOM") && problems.size() < 100)
        problems.push_back(path + ": " + problem);
      return;
    }
    auto key = std::make_tuple(attributes.patientId + "\n" + attributes.patientName, attributes.studyUid,
                               attributes.seriesUid);
    images[key].push_back({attributes.instanceNumber, path, attributes.frames});
    first.emplace(key, attributes);
  }

  Examination build() {
    Examination examination;
    examination.problems = problems;
    std::string lastPatient, lastStudy;
    for (auto &[key, list] : images) {
      const ImageAttributes &a = first[key];
      const auto &[patientKey, studyUid, seriesUid] = key;
      if (examination.patients.empty() || patientKey != lastPatient) {
        examination.patients.push_back({a.patientName, a.patientId, a.birthDate, {}});
        lastPatient = patientKey;
        lastStudy.clear();
      }
      auto &studies = examination.patients.back().studies;
      if (studies.empty() || studyUid != lastStudy) {
        studies.push_back({a.studyUid, a.studyDate, a.studyDescription, {}});
        lastStudy = studyUid;
      }
      ExaminationSeries series;
      series.uid = a.seriesUid;
      series.description = a.seriesDescription;
      series.date = a.studyDate;
      series.modality = a.modality;
      series.number = a.seriesNumber;
      finishSeries(series, list, 0);
      studies.back().series.push_back(std::move(series));
    }
    for (auto &patient : examination.patients)
      for (auto &study : patient.studies)
        std::stable_sort(
            study.series.begin(), study.series.end(),
            [](const ExaminationSeries &a, const ExaminationSeries &b) { return a.number < b.number; });
    return examination;
  }
};

void walk(const std::string &folder, const std::string &root, int depth, std::set<std::string> &seen,
          size_t &files, FileGrouping &grouping) {
  if (depth > kDeepestScannedFolder || !seen.insert(platform::resolvedPath(folder)).second) return;
  GDir *raw = g_dir_open(folder.c_str(), 0, nullptr);
  if (raw == nullptr) return;
  std::vector<std::string> names;
  while (const char *entry = g_dir_read_name(raw)) names.push_back(entry);
  g_dir_close(raw);
  std::sort(names.begin(), names.end());
  for (const std::string &name : names) {
    if (files >= kMostScannedFiles) return;
    const std::string path = joined(folder, name);
    const std::string resolved = platform::resolvedPath(path);
    if (resolved.empty() || !platform::resolvedPathWithin(resolved, root)) continue;
    if (isDirectory(resolved)) {
      walk(path, root, depth + 1, seen, files, grouping);
    } else if (isRegularFile(resolved) && g_ascii_strcasecmp(name.c_str(), "DICOMDIR") != 0) {
      ++files;
      grouping.add(path, false);
    }
  }
}

}  // namespace

Examination scanFolder(const std::string &folder) {
  FileGrouping grouping;
  std::set<std::string> seen;
  size_t files = 0;
  walk(folder, platform::resolvedPath(folder), 0, seen, files, grouping);
  Examination examination = grouping.build();
  if (files >= kMostScannedFiles)
    examination.problems.push_back("przeszukano tylko pierwsze " + std::to_string(kMostScannedFiles) +
                                   " plików");
  return examination;
}

Examination readFiles(const std::vector<std::string> &paths) {
  FileGrouping grouping;
  for (const std::string &path : paths) grouping.add(path, true);
  return grouping.build();
}

Examination openExamination(const std::vector<std::string> &arguments) {
  std::vector<std::string> given = arguments;
  if (given.empty()) given.push_back(".");
  if (given.size() == 1) {
    const std::string &only = given.front();
    std::string directory;
    if (isDirectory(only)) {
      directory = componentIn(only, "DICOMDIR");
    } else {
      char *base = g_path_get_basename(only.c_str());
      if (g_ascii_strcasecmp(base, "DICOMDIR") == 0) directory = only;
      g_free(base);
    }
    if (!directory.empty() && isRegularFile(directory)) {
      Examination examination;
      if (readDicomDirectory(directory, examination)) return examination;
      char *folder = g_path_get_dirname(directory.c_str());
      examination = scanFolder(folder);
      g_free(folder);
      examination.problems.insert(examination.problems.begin(),
                                  "DICOMDIR jest uszkodzony: pokazano pliki znalezione w folderze");
      return examination;
    }
    if (isDirectory(only)) return scanFolder(only);
  }
  return readFiles(given);
}
