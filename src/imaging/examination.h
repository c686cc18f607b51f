// What the viewer opens: a DICOMDIR, a folder (its DICOMDIR, else a scan of
// its files) or single files, as patients, studies and series of image files.
// Reading is bounded like the catalogue's; a file or record that cannot be
// used becomes a Polish line, never a failure of the whole.
#pragma once

#include <string>
#include <vector>

// One image shown: a frame of an image file.
struct SeriesSlice {
  std::string path;
  long frame = 0;
};

struct ExaminationSeries {
  std::string uid, description, date, modality;
  int number = 0;
  std::vector<std::string> files;  // in instance order
  std::vector<long> frameCounts;   // per file; 1 until the file says more
  std::string problem;             // why nothing of it can be shown
  long imageCount() const;
  SeriesSlice slice(long index) const;  // index < imageCount()
  // Records that `file` holds `frames` frames (learnt once it is decoded).
  void setFrameCount(size_t file, long frames);
};

struct ExaminationStudy {
  std::string uid, date, description;
  std::vector<ExaminationSeries> series;
};

struct ExaminationPatient {
  std::string name, id, birthDate;
  std::vector<ExaminationStudy> studies;
};

struct Examination {
  std::vector<ExaminationPatient> patients;
  // Lines for the list: files and records refused, a damaged DICOMDIR.
  std::vector<std::string> problems;
  // Every series, in list order (patient, study, series).
  std::vector<const ExaminationSeries *> allSeries() const;
};

// The most files a folder scan reads, and the deepest folder it enters.
constexpr size_t kMostScannedFiles = 100000;
constexpr int kDeepestScannedFolder = 32;

// `arguments` as given on the command line: nothing (the current folder), a
// DICOMDIR, a folder, or image files.
Examination openExamination(const std::vector<std::string> &arguments);

// The DICOMDIR at `path`; its references must stay inside its folder. False
// when it cannot be read as a DICOMDIR at all (the caller scans instead).
bool readDicomDirectory(const std::string &path, Examination &examination);

// Every DICOM image file below `folder`, grouped by the files' own UIDs.
Examination scanFolder(const std::string &folder);

// The named files, grouped the same way.
Examination readFiles(const std::vector<std::string> &paths);
