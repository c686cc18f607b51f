// Reading a clinic's DICOM export: which files are DICOM (by content), the
// attributes that place them on the disc, and whether a DICOMDIR found among
// them names files that are not there.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class WorkerPool;

namespace makedisc {

// What the disc needs to know of one DICOM file. Text values are the stored
// bytes, trailing padding removed.
struct ExportFile {
  std::string path;  // as found under a source
  std::string characterSet;
  std::string patientId;
  std::string patientName;
  std::string studyUid;
  std::string studyDate;
  std::string studyTime;
  std::string studyDescription;
  std::string seriesUid;
  bool hasSeriesNumber = false;
  long seriesNumber = 0;
  std::string modality;
  std::string sopClassUid;
  std::string sopInstanceUid;
  bool hasInstanceNumber = false;
  long instanceNumber = 0;
  std::string transferSyntaxUid;
  bool metaHeader = false;  // a Part 10 file (preamble, "DICM", file meta information)
  bool pixelData = false;   // carries an image: gets pictures and a series position
  // Patient ID, Study Date, Time and ID, Series and Instance Number all have
  // values: the DICOMDIR has nothing to invent for this file.
  bool directoryKeys = false;
  long frames = 1;
  // The image's declared geometry, and the length of its pixel data as stored
  // (kUndefinedLength when encapsulated): checked before anything is decoded.
  long rows = 0;
  long columns = 0;
  long samplesPerPixel = 1;
  long bitsAllocated = 0;
  unsigned long pixelDataLength = 0;
};

struct ExportScan {
  std::vector<ExportFile> files;  // in the order found, sources in the order given
  int otherFiles = 0;             // files that are not DICOM, ignored
  std::vector<std::string> otherExamples;
  int directories = 0;                         // DICOMDIR files found (never copied: the disc gets its own)
  std::vector<std::string> missingReferences;  // "DICOMDIR: name" of each reference not found
  // Sources that do not exist, and every folder and file below them that could
  // not be listed or read: the walk passes over them and goes on.
  std::vector<std::string> unreadable;
};

// Reads one file; false when it is not a DICOM object or cannot be read
// (`unreadable`, when given, then says which).
// A DICOMDIR is read as such: `isDirectory` is set and its missing references
// are appended to `missing`.
bool readExportFile(const std::string &path, ExportFile *file, bool *isDirectory,
                    std::vector<std::string> *missing, bool *unreadable = nullptr);

// Walks every source (a folder, walked without following links to folders, or
// a single file) and reads every regular file on `pool`'s workers and the caller.
// `progress` (done, total) is called on any thread, one call at a time. Once
// `cancel` is raised no further folder is listed and no further file read.
ExportScan scanExport(const std::vector<std::string> &sources, WorkerPool &pool,
                      const std::function<void(size_t, size_t)> &progress = nullptr,
                      const std::atomic<bool> *cancel = nullptr);

// The patient's name for messages: UTF-8 from the file's character set, "^" as blanks.
std::string readableName(const ExportFile &file);

}  // namespace makedisc
