// Description list, HTML reports (Windows-1250, as the navigator's page
// wrapper declares) and the report pictures of the sample medium.
#include "reports.h"

#include "jpeg_pictures.h"
#include "phantom.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <memory>

namespace samplemedium {

const char *const reportNames[3] = {"opis.html", "opisy/kontrola.html", "wynik.pdf"};

namespace {

// The reports are fragments: the navigator puts them into its page design.
const char *const headReport =
    "<h2>Opis badania tomografii komputerowej głowy</h2>\n"
    "<table cellpadding=\"3\">\n"
    "<tr><td>Pacjent:</td><td><b>Zofia Wiśniewska</b></td></tr>\n"
    "<tr><td>PESEL:</td><td>@ID@</td></tr>\n"
    "<tr><td>Data badania:</td><td>@DATE@</td></tr>\n"
    "<tr><td>Badanie:</td><td>TK głowy bez podania środka kontrastowego</td></tr>\n"
    "<tr><td>Lekarz kierujący:</td><td>dr n. med. Łukasz Nowak</td></tr>\n"
    "</table>\n"
    "<h3>Technika badania</h3>\n"
    "<p>Badanie wykonano w płaszczyźnie poprzecznej, warstwami grubości 5 mm i 2 mm, od podstawy czaszki "
    "do szczytu sklepienia, z rekonstrukcją strzałkową.</p>\n"
    "<h3>Opis</h3>\n"
    "<p>Układ komorowy symetryczny, nieposzerzony, nieprzemieszczony. Przestrzenie płynowe przymózgowe "
    "w normie. Różnicowanie istoty szarej i białej zachowane. Nie stwierdza się ognisk krwawienia, "
    "niedokrwienia ani zmian ogniskowych w mózgowiu i móżdżku. Struktury linii środkowej w osi. "
    "Fizjologiczne zwapnienie szyszynki.</p>\n"
    "<p><img src=\"images/tk_glowy.jpg\" width=\"256\" height=\"256\" alt=\"TK głowy: warstwa przez komory "
    "boczne\" /></p>\n"
    "<p>Kości pokrywy i podstawy czaszki bez zmian pourazowych. Zatoki przynosowe i komórki powietrzne "
    "wyrostków sutkowatych prawidłowo upowietrznione. Oczodoły bez zmian.</p>\n"
    "<h3>Wnioski</h3>\n"
    "<p>Obraz TK głowy bez zmian ogniskowych i bez cech świeżego krwawienia śródczaszkowego.</p>\n"
    "<p>Opisujący: lek. med. Małgorzata Żółkiewska, specjalista radiologii i diagnostyki obrazowej</p>\n";

const char *const kneeReport =
    "<h2>Opis badania rezonansu magnetycznego stawu kolanowego lewego</h2>\n"
    "<p>Pacjentka: <b>Zofia Wiśniewska</b>, PESEL @ID@, data badania @DATE@.</p>\n"
    "<p>Badanie kontrolne po leczeniu zachowawczym. Sekwencje PD z saturacją tłuszczu, T1 i T2* "
    "w trzech płaszczyznach.</p>\n"
    "<h3>Opis</h3>\n"
    "<p>Niewielka ilość płynu w jamie stawu i w zachyłku nadrzepkowym. Więzadła krzyżowe przednie "
    "i tylne ciągłe, o prawidłowym sygnale. Więzadła poboczne bez zmian. Łąkotka przyśrodkowa: "
    "w rogu tylnym linijne podwyższenie sygnału nie dochodzące do powierzchni stawowej (zmiany "
    "zwyrodnieniowe, stopień II). Łąkotka boczna prawidłowa.</p>\n"
    "<p><img src=\"../images/mr_kolana.jpg\" width=\"256\" height=\"256\" alt=\"MR kolana: przekrój "
    "strzałkowy\" /></p>\n"
    "<p>Chrząstka stawowa przedziału przyśrodkowego ścieńczała do ok. 2 mm, bez ubytków pełnej grubości. "
    "Rzepka ustawiona centralnie. Ścięgna mięśnia czworogłowego i więzadło rzepki ciągłe.</p>\n"
    "<h3>Wnioski</h3>\n"
    "<p>Zmiany zwyrodnieniowe łąkotki przyśrodkowej bez cech rozdarcia. W porównaniu z badaniem "
    "poprzednim obraz stabilny.</p>\n"
    "<p>Opisujący: lek. med. Grzegorz Ślęzak, specjalista radiologii i diagnostyki obrazowej</p>\n";

std::string replaced(std::string text, const std::string &what, const std::string &with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

bool writeBytes(const std::string &path, const std::string &bytes, std::string *error) {
  GError *failure = nullptr;
  if (!g_file_set_contents(path.c_str(), bytes.data(), static_cast<gssize>(bytes.size()), &failure)) {
    *error = failure->message;
    g_error_free(failure);
    return false;
  }
  return true;
}

bool writeWindows1250(const std::string &path, const std::string &utf8, std::string *error) {
  gsize written = 0;
  GError *failure = nullptr;
  std::unique_ptr<gchar, decltype(&g_free)> bytes(
      g_convert(utf8.c_str(), static_cast<gssize>(utf8.size()), "WINDOWS-1250", "UTF-8", nullptr, &written,
                &failure),
      g_free);
  if (!bytes) {
    *error = path + ": " + failure->message;
    g_error_free(failure);
    return false;
  }
  return writeBytes(path, std::string(bytes.get(), written), error);
}

bool writeReportPicture(const std::string &path, Anatomy anatomy, View view, int index, int count,
                        double center, double width, std::string *error) {
  const Picture picture = drawPicture(anatomy, view, 512, 512, index, count);
  return saveGreyJpeg(path, applyWindow(picture, center, width), 512, 512, 256, 256, error);
}

std::string filled(const char *report, const ExaminationPlan &plan, Anatomy anatomy) {
  return replaced(replaced(report, "@ID@", plan.patient.id), "@DATE@",
                  polishDate(studyDateOf(plan, anatomy)));
}

}  // namespace

std::string polishDate(const std::string &dicomDate) {
  if (dicomDate.size() != 8) return dicomDate;
  return dicomDate.substr(6, 2) + "." + dicomDate.substr(4, 2) + "." + dicomDate.substr(0, 4);
}

std::string studyDateOf(const ExaminationPlan &plan, Anatomy anatomy) {
  for (const StudyPlan &study : plan.studies)
    if (study.anatomy == anatomy) return study.date;
  return "20240108";
}

bool writeReports(const std::string &root, const ExaminationPlan &plan, std::string *error) {
  std::string list = "var descriptions = [";
  for (const char *name : reportNames)
    list += std::string(list.back() == '[' ? "" : ", ") + "\"" + name + "\"";
  list += "];\n";
  g_mkdir_with_parents((root + "/images").c_str(), 0755);
  g_mkdir_with_parents((root + "/opisy").c_str(), 0755);
  return writeBytes(root + "/descrlist.js", list, error) &&
         writeReportPicture(root + "/images/tk_glowy.jpg", Anatomy::Head, View::Axial, 13, 24, 1064, 90,
                            error) &&
         writeReportPicture(root + "/images/mr_kolana.jpg", Anatomy::Knee, View::Sagittal, 5, 20, 1500, 2800,
                            error) &&
         writeWindows1250(root + "/" + reportNames[0], filled(headReport, plan, Anatomy::Head), error) &&
         writeWindows1250(root + "/" + reportNames[1], filled(kneeReport, plan, Anatomy::Knee), error) &&
         writePdfReport(root + "/" + reportNames[2], plan, error);
}

}  // namespace samplemedium
