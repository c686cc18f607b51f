// Web pages of the disc: plain values in, files out.
#include "web_pages.h"

#include "catalogue/dicom_text.h"
#include "examination_plan.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <memory>
#include <set>

namespace makedisc {

namespace {

std::string escaped(const std::string &text) {
  std::unique_ptr<gchar, decltype(&g_free)> done(g_markup_escape_text(text.c_str(), -1), g_free);
  return done.get();
}

// A file name as a link's address: every byte outside letters, digits and
// "-._~" escaped, so that blanks and Polish letters reach the file.
std::string address(const std::string &name) {
  std::unique_ptr<gchar, decltype(&g_free)> done(g_uri_escape_string(name.c_str(), "/", FALSE), g_free);
  return done.get();
}

std::string page(const std::string &title, const std::string &body) {
  return "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"pl\" lang=\"pl\">\n<head>\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />\n<title>" +
         escaped(title) + "</title>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

bool write(const std::string &path, const std::string &text, std::string *error) {
  GError *failure = nullptr;
  if (g_file_set_contents(path.c_str(), text.data(), static_cast<gssize>(text.size()), &failure)) return true;
  *error = failure->message;
  g_error_free(failure);
  return false;
}

// "2024-01-02" from "20240102"; other forms as they are.
std::string shownDate(const std::string &date) {
  if (date.size() != 8 || date.find_first_not_of("0123456789") != std::string::npos) return date;
  return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
}

std::string studyText(const PlannedStudy &study, int number, const std::string &root) {
  const ExportFile &first = *study.series.front().instances.front().file;
  std::set<std::string> modalities;
  int series = 0, images = 0;
  std::string pictures;
  for (const PlannedSeries &one : study.series) {
    if (one.refimgFolder.empty()) continue;
    ++series;
    images += static_cast<int>(one.instances.size());
    for (const PlannedInstance &instance : one.instances)
      if (!instance.file->modality.empty()) modalities.insert(instance.file->modality);
    const std::string picture = one.refimgFolder + "/" + samplemedium::mediaName("IM", 1) + ".jpg";
    if (g_file_test((root + "/" + picture).c_str(), G_FILE_TEST_IS_REGULAR))
      pictures += "<a href=\"../" + picture + "\"><img src=\"../" + picture +
                  "\" width=\"128\" alt=\"Seria " + std::to_string(series) + "\" /></a>\n";
  }
  DicomTextDecoder decoder;
  decoder.select(first.characterSet);
  const std::string description = decoder.decode(first.studyDescription.c_str(), "");
  std::string heading = "Badanie " + std::to_string(number);
  if (!first.studyDate.empty()) heading += ": " + shownDate(first.studyDate);
  std::string kinds;
  for (const std::string &modality : modalities) kinds += (kinds.empty() ? "" : ", ") + modality;
  if (!kinds.empty()) heading += ", " + kinds;
  std::string text = "<h2>" + escaped(heading) + "</h2>\n";
  if (!description.empty()) text += "<p>" + escaped(description) + "</p>\n";
  text += "<p>Serie: " + std::to_string(series) + ", obrazy: " + std::to_string(images) + "</p>\n";
  if (!pictures.empty()) text += "<p>\n" + pictures + "</p>\n";
  return text;
}

}  // namespace

bool writeWebPages(const std::string &root, const DiscPlan &plan, const WebContents &contents,
                   std::string *error) {
  if (g_mkdir_with_parents((root + "/IHE_PDI").c_str(), 0755) != 0) {
    *error = root + "/IHE_PDI: the folder cannot be created";
    return false;
  }
  const bool named = contents.patientName.find_first_not_of(' ') != std::string::npos;
  const std::string patient = named ? "<p>Pacjent: " + escaped(contents.patientName) + "</p>\n" : "";
  std::string list = "<h1>Badania na tej płycie</h1>\n" + patient;
  int number = 0;
  for (const PlannedStudy &study : plan.studies) list += studyText(study, ++number, root);
  list += "<h2>Opisy</h2>\n";
  if (contents.reports.empty()) list += "<p>Na płycie nie ma opisów.</p>\n";
  std::string items;
  int pages = 0;
  for (const std::string &report : contents.reports) {
    std::string target = "../" + address(report);
    const bool html = g_str_has_suffix(report.c_str(), ".html") || g_str_has_suffix(report.c_str(), ".htm");
    if (html) {
      // The navigator's report files are body text in Windows-1250 without a
      // head: a page of our own tells the browser their characters.
      char name[16];
      g_snprintf(name, sizeof name, "OPIS%04d.HTM", ++pages);
      gchar *bytes = nullptr;
      gsize length = 0;
      if (!g_file_get_contents((root + "/" + report).c_str(), &bytes, &length, nullptr)) {
        *error = root + "/" + report + ": the report cannot be read back";
        return false;
      }
      const std::string body(bytes, length);
      g_free(bytes);
      if (!write(root + "/IHE_PDI/" + name,
                 "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html "
                 "lang=\"pl\">\n<head>\n"
                 "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">\n"
                 "<title>Opis</title>\n</head>\n<body>\n<p><a href=\"INDEX.HTM\">Lista bada&#324;</a></p>\n" +
                     body + "\n</body>\n</html>\n",
                 error))
        return false;
      target = name;
    }
    items += "<li><a href=\"" + target + "\">" + escaped(report) + "</a></li>\n";
  }
  if (!items.empty()) list += "<ul>\n" + items + "</ul>\n";
  list += "<p><a href=\"../INDEX.HTM\">Strona główna płyty</a></p>\n";
  if (!write(root + "/IHE_PDI/INDEX.HTM", page("Badania na tej płycie", list), error)) return false;
  const std::string index =
      "<h1>Płyta z badaniami obrazowymi</h1>\n" + patient +
      "<ul>\n<li><a href=\"IHE_PDI/INDEX.HTM\">Lista badań i opisy</a></li>\n"
      "<li><a href=\"README.TXT\">Jak otworzyć płytę i co na niej jest (README.TXT)</a></li>\n"
      "</ul>\n<p>Obrazy diagnostyczne w pełnej jakości otwiera program zapisany na płycie "
      "albo inny program DICOM, któremu wskaże się plik DICOMDIR.</p>\n";
  return write(root + "/INDEX.HTM", page("Płyta z badaniami obrazowymi", index), error);
}

}  // namespace makedisc
