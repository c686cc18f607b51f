// The synthetic patient and the studies, series and pictures of the sample medium.
#include "examination_plan.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>

namespace samplemedium {

namespace {

struct SeriesTemplate {
  const char *description;
  View view;
  int images;
  double windowCenter;
  double windowWidth;
  bool wide;  // 4:3 pictures instead of square ones
};

struct StudyTemplate {
  Anatomy anatomy;
  const char *description;
  const char *characterSet;
  const char *modality;
  const char *sopClassUid;
  const char *bodyPart;
  std::vector<SeriesTemplate> series;
};

// CT values are stored as Hounsfield units + 1024; MR and radiographs use 12 bits.
const std::vector<StudyTemplate> &studyTemplates() {
  static const std::vector<StudyTemplate> templates = {
      {Anatomy::Head,
       "TK głowy bez kontrastu",
       "ISO_IR 192",
       "CT",
       UID_CTImageStorage,
       "HEAD",
       {{"Głowa 5 mm, okno mózgowe", View::Axial, 24, 1064, 90, false},
        {"Głowa 2 mm, okno kostne", View::Axial, 40, 1524, 2000, false},
        {"", View::Sagittal, 12, 1064, 160, false}}},
      {Anatomy::Knee,
       "MR stawu kolanowego lewego",
       "ISO_IR 101",
       "MR",
       UID_MRImageStorage,
       "KNEE",
       {{"Strzałkowa PD z saturacją tłuszczu", View::Sagittal, 20, 1500, 2800, false},
        {"Czołowa T1", View::Coronal, 16, 1500, 2800, true},
        {"Poprzeczna T2* gradientowa", View::Axial, 18, 1500, 2800, false}}},
      {Anatomy::Chest,
       "RTG klatki piersiowej PA",
       "ISO_IR 192",
       "CR",
       UID_ComputedRadiographyImageStorage,
       "CHEST",
       {{"Klatka piersiowa PA, wdech i wydech", View::Frontal, 10, 1500, 2800, false},
        {"Klatka piersiowa boczna lewa", View::Lateral, 8, 2000, 3800, false}}},
  };
  return templates;
}

std::string newUid(const char *root) {
  char uid[100];
  dcmGenerateUniqueIdentifier(uid, root);
  return uid;
}

// Studies a few weeks apart, the first in January 2024.
std::string studyDate(int study) {
  GDate *date = g_date_new_dmy(8, G_DATE_JANUARY, 2024);
  g_date_add_days(date, static_cast<guint>(study) * 23);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", g_date_get_year(date), g_date_get_month(date),
                g_date_get_day(date));
  g_date_free(date);
  return text;
}

std::string numbered(const std::string &text, int repeat) {
  if (repeat == 0 || text.empty()) return text;
  return text + ", kontrola " + std::to_string(repeat);
}

SeriesPlan planSeries(const SeriesTemplate &pattern, int number, int repeat,
                      const SampleMediumOptions &options) {
  SeriesPlan series;
  series.description = numbered(pattern.description, repeat);
  series.view = pattern.view;
  series.width = options.pictureSize;
  series.height = pattern.wide ? options.pictureSize * 3 / 4 : options.pictureSize;
  series.images = options.imagesPerSeries > 0 ? options.imagesPerSeries : pattern.images;
  series.number = number;
  series.windowCenter = pattern.windowCenter;
  series.windowWidth = pattern.windowWidth;
  series.uid = newUid(SITE_SERIES_UID_ROOT);
  for (int i = 0; i < series.images; ++i) series.imageUids.push_back(newUid(SITE_INSTANCE_UID_ROOT));
  return series;
}

}  // namespace

int ExaminationPlan::imageCount() const {
  int count = 0;
  for (const StudyPlan &study : studies)
    for (const SeriesPlan &series : study.series) count += series.images;
  return count;
}

ExaminationPlan planExaminations(const SampleMediumOptions &options) {
  ExaminationPlan plan;
  plan.patient = {"Wiśniewska^Zofia", "68031412340", "19680314", "F"};
  const std::vector<StudyTemplate> &templates = studyTemplates();
  for (int s = 0; s < options.studies; ++s) {
    const StudyTemplate &pattern = templates[s % templates.size()];
    const int repeat = s / static_cast<int>(templates.size());
    StudyPlan study;
    study.anatomy = pattern.anatomy;
    study.description = numbered(pattern.description, repeat);
    study.characterSet = pattern.characterSet;
    study.modality = pattern.modality;
    study.sopClassUid = pattern.sopClassUid;
    study.bodyPart = pattern.bodyPart;
    study.date = studyDate(s);
    char text[32];
    std::snprintf(text, sizeof text, "%02d%02d%02d", 8 + s % 9, (s * 17) % 60, (s * 31) % 60);
    study.time = text;
    std::snprintf(text, sizeof text, "%d", 1001 + s);
    study.studyId = text;
    std::snprintf(text, sizeof text, "RIS%08d", 24000 + s * 7);
    study.accessionNumber = text;
    study.uid = newUid(SITE_STUDY_UID_ROOT);
    study.frameOfReferenceUid = newUid(SITE_INSTANCE_UID_ROOT);
    const int seriesCount =
        options.seriesPerStudy > 0 ? options.seriesPerStudy : static_cast<int>(pattern.series.size());
    for (int j = 0; j < seriesCount; ++j) {
      const int kinds = static_cast<int>(pattern.series.size());
      study.series.push_back(planSeries(pattern.series[j % kinds], j + 1, j / kinds, options));
    }
    plan.studies.push_back(std::move(study));
  }
  if (!plan.studies.empty() && !plan.studies.front().series.empty())
    plan.studies.front().series.front().withSmallPicture = true;
  return plan;
}

std::string mediaName(const char *prefix, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%06d", prefix, number);
  return name;
}

bool hasValidPeselChecksum(const std::string &pesel) {
  static const int weights[10] = {1, 3, 7, 9, 1, 3, 7, 9, 1, 3};
  if (pesel.size() != 11 ||
      !std::all_of(pesel.begin(), pesel.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum += weights[i] * (pesel[i] - '0');
  return (10 - sum % 10) % 10 == pesel[10] - '0';
}

}  // namespace samplemedium
