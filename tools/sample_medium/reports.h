// The written reports of the sample medium: the description list, two HTML
// reports in Windows-1250, a PDF report and the pictures the reports show.
#pragma once

#include "examination_plan.h"

#include <string>

namespace samplemedium {

// The names written into descrlist.js, relative to the medium root.
extern const char *const reportNames[3];

// Writes descrlist.js, the reports and images/ under `root`.
bool writeReports(const std::string &root, const ExaminationPlan &plan, std::string *error);

// Writes the PDF report of the chest radiograph (pdf_report.cpp).
bool writePdfReport(const std::string &path, const ExaminationPlan &plan, std::string *error);

// "08.01.2024" from "20240108".
std::string polishDate(const std::string &dicomDate);
// The date of the first study of an anatomy, or of its default study.
std::string studyDateOf(const ExaminationPlan &plan, Anatomy anatomy);

}  // namespace samplemedium
