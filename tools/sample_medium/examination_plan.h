// The synthetic patient and the studies, series and pictures of the sample
// medium, decided before anything is drawn or written.
#pragma once

#include "sample_medium.h"

#include <string>
#include <vector>

namespace samplemedium {

enum class Anatomy { Head, Knee, Chest };
// How the picture cuts through the body: a slice stack or a projection.
enum class View { Axial, Sagittal, Coronal, Frontal, Lateral };

struct Patient {
  std::string name;  // UTF-8, DICOM person name with "^"
  std::string id;    // PESEL
  std::string birthDate;
  std::string sex;
};

struct SeriesPlan {
  std::string description;  // UTF-8; empty: the attribute is left out
  View view = View::Axial;
  int width = 512;
  int height = 512;
  int images = 0;
  int number = 1;           // Series Number
  double windowCenter = 0;  // stored-value window for the reference pictures
  double windowWidth = 0;
  std::string uid;
  std::vector<std::string> imageUids;
  bool withSmallPicture = false;  // an extra REFIMG picture named "small"
};

struct StudyPlan {
  Anatomy anatomy = Anatomy::Head;
  std::string description;   // UTF-8
  std::string characterSet;  // Specific Character Set, "ISO_IR 192" or "ISO_IR 101"
  std::string modality;
  std::string sopClassUid;
  std::string date;
  std::string time;
  std::string studyId;
  std::string accessionNumber;
  std::string bodyPart;
  std::string uid;
  std::string frameOfReferenceUid;
  std::vector<SeriesPlan> series;
};

struct ExaminationPlan {
  Patient patient;
  std::vector<StudyPlan> studies;
  int imageCount() const;
};

// The whole plan, with fresh UIDs for every study, series and picture.
ExaminationPlan planExaminations(const SampleMediumOptions &options);

// Media file names: prefix and a six-digit number from 1, "ST000001".
std::string mediaName(const char *prefix, int number);

// True when the 11-digit number carries a valid PESEL check digit.
bool hasValidPeselChecksum(const std::string &pesel);

}  // namespace samplemedium
