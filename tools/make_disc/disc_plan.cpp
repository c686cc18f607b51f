// Disc layout: plain values in, plain values out.
#include "disc_plan.h"

#include "examination_plan.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace makedisc {

using samplemedium::mediaName;

namespace {

// Sorts a missing number after every present one.
std::tuple<bool, long> numberKey(bool present, long value) { return std::make_tuple(!present, value); }

struct SeriesGroup {
  std::string uid;
  bool images = false;
  bool hasNumber = false;
  long number = 0;
  std::vector<const ExportFile *> files;
};

struct StudyGroup {
  std::string uid, date, time;
  bool images = false;
  std::map<std::pair<std::string, bool>, SeriesGroup> series;  // (series UID, images)
};

bool instanceBefore(const ExportFile *a, const ExportFile *b) {
  return std::make_tuple(numberKey(a->hasInstanceNumber, a->instanceNumber), a->sopInstanceUid, a->path) <
         std::make_tuple(numberKey(b->hasInstanceNumber, b->instanceNumber), b->sopInstanceUid, b->path);
}

bool seriesBefore(const SeriesGroup *a, const SeriesGroup *b) {
  return std::make_tuple(!a->images, numberKey(a->hasNumber, a->number), a->uid) <
         std::make_tuple(!b->images, numberKey(b->hasNumber, b->number), b->uid);
}

// Dates and times compare as text (YYYYMMDD, HHMMSS.FFFFFF); empty ones last.
bool studyBefore(const StudyGroup *a, const StudyGroup *b) {
  return std::make_tuple(!a->images, a->date.empty(), a->date, a->time.empty(), a->time, a->uid) <
         std::make_tuple(!b->images, b->date.empty(), b->date, b->time.empty(), b->time, b->uid);
}

// Whether a general-purpose media profile admits the transfer syntax `uid`.
bool profileAccepts(const std::string &uid) {
  for (const char *accepted : {UID_LittleEndianExplicitTransferSyntax, UID_JPEGProcess1TransferSyntax,
                               UID_JPEGProcess2_4TransferSyntax, UID_JPEGProcess14SV1TransferSyntax,
                               UID_JPEG2000LosslessOnlyTransferSyntax, UID_JPEG2000TransferSyntax})
    if (uid == accepted) return true;
  return false;
}

}  // namespace

std::string patientKey(const ExportFile &file) {
  return file.patientId.empty() ? "\n" + file.patientName : file.patientId;
}

std::vector<ExportPatient> patientsOf(const std::vector<ExportFile> &files) {
  std::vector<ExportPatient> patients;
  std::map<std::string, size_t> index;
  for (const ExportFile &file : files) {
    auto found = index.emplace(patientKey(file), patients.size());
    if (found.second) patients.push_back({file.patientId, readableName(file), 0, found.first->first});
    ++patients[found.first->second].files;
  }
  return patients;
}

DiscPlan planDisc(const std::vector<const ExportFile *> &files) {
  DiscPlan plan;
  std::map<std::string, StudyGroup> studies;
  std::vector<const ExportFile *> ordered(files);
  std::sort(ordered.begin(), ordered.end(),
            [](const ExportFile *a, const ExportFile *b) { return a->path < b->path; });
  // The same object twice (an export of two overlapping queries, or one also
  // sent in another transfer syntax) goes on the disc once: in a syntax the
  // general-purpose profiles accept where there is one, else the first found.
  std::map<std::string, const ExportFile *> kept;
  for (const ExportFile *file : ordered) {
    auto found = kept.emplace(file->sopInstanceUid, file);
    if (!found.second && profileAccepts(file->transferSyntaxUid) &&
        !profileAccepts(found.first->second->transferSyntaxUid))
      found.first->second = file;
  }
  for (const ExportFile *file : ordered) {
    if (kept.at(file->sopInstanceUid) != file) {
      plan.duplicates.push_back(file->path);
      continue;
    }
    StudyGroup &study = studies[file->studyUid];
    study.uid = file->studyUid;
    if (study.date.empty()) study.date = file->studyDate;
    if (study.time.empty()) study.time = file->studyTime;
    study.images = study.images || file->pixelData;
    SeriesGroup &series = study.series[{file->seriesUid, file->pixelData}];
    series.uid = file->seriesUid;
    series.images = file->pixelData;
    if (!series.hasNumber && file->hasSeriesNumber) {
      series.hasNumber = true;
      series.number = file->seriesNumber;
    }
    series.files.push_back(file);
  }

  std::vector<StudyGroup *> studyOrder;
  for (auto &study : studies) studyOrder.push_back(&study.second);
  std::stable_sort(studyOrder.begin(), studyOrder.end(), studyBefore);
  int studyNumber = 0;
  for (StudyGroup *study : studyOrder) {
    const std::string studyName = mediaName("ST", ++studyNumber);
    std::vector<SeriesGroup *> seriesOrder;
    for (auto &series : study->series) seriesOrder.push_back(&series.second);
    std::stable_sort(seriesOrder.begin(), seriesOrder.end(), seriesBefore);
    PlannedStudy planned;
    int seriesNumber = 0;
    for (SeriesGroup *series : seriesOrder) {
      PlannedSeries out;
      const std::string seriesFolder = studyName + "/" + mediaName("SE", ++seriesNumber);
      out.dicomFolder = "DICOM/" + seriesFolder;
      if (series->images) out.refimgFolder = "REFIMG/" + seriesFolder;
      std::stable_sort(series->files.begin(), series->files.end(), instanceBefore);
      int instanceNumber = 0, picture = 1;
      for (const ExportFile *file : series->files) {
        out.instances.push_back({file, out.dicomFolder + "/" + mediaName("IM", ++instanceNumber), picture});
        if (series->images) picture += static_cast<int>(std::max(1L, file->frames));
      }
      planned.series.push_back(std::move(out));
    }
    plan.studies.push_back(std::move(planned));
  }
  return plan;
}

}  // namespace makedisc
