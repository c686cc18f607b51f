// The navigator's own reader as a user meets it: a PDF's pages drawn and read
// out, an HTML report's text, printing into a file, saving a copy, reports
// made to hurt, and the reader opening after the warning on a desktop without
// any program for reports.
#include "reader/report_reader.h"
#include "reader/reader_printing.h"
#include "reader/report_copy.h"

#include "base/medium_links.h"
#include "base/medium_root.h"
#include "base/tmp_directory.h"
#include "descriptions/description_list.h"
#include "descriptions/descriptions_tile.h"
#include "descriptions/wrapper_page.h"
#include "platform/glib_owners.h"
#include "support/child_run.h"
#include "support/desktop_environment.h"
#include "support/gui.h"
#include "support/scoped_medium.h"

#include <cairo-pdf.h>
#include <gdk/gdkkeysyms.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <poppler.h>

#include <fcntl.h>
#include <unistd.h>
#include <sstream>
#include <string>

namespace {

using namespace testsupport;

// A PDF of `pages` pages of `width` x `height` points, each with one line of text.
void writePdf(const std::string &path, int pages, double width, double height) {
  cairo_surface_t *surface = cairo_pdf_surface_create(path.c_str(), width, height);
  cairo_t *cairo = cairo_create(surface);
  cairo_set_font_size(cairo, std::min(24.0, height / 4));
  for (int page = 1; page <= pages; ++page) {
    cairo_move_to(cairo, std::min(40.0, width / 10), std::min(80.0, height / 2));
    cairo_show_text(cairo, ("Wynik badania, strona " + std::to_string(page) + ": żółć").c_str());
    cairo_show_page(cairo);
  }
  cairo_destroy(cairo);
  cairo_surface_destroy(surface);
}

// Words only: the two extractions may differ in blanks and line ends.
std::string words(const std::string &text) {
  std::istringstream in(text);
  std::string word, joined;
  while (in >> word) joined += (joined.empty() ? "" : " ") + word;
  return joined;
}

std::string commandOutput(const std::string &command) {
  gchar *out = nullptr;
  g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr);
  std::string result = out ? out : "";
  g_free(out);
  return result;
}

std::string pdfText(const std::string &path, int page) {
  UniqueString uri(g_filename_to_uri(path.c_str(), nullptr, nullptr));
  UniqueObject<PopplerDocument> document(poppler_document_new_from_file(uri.get(), nullptr, nullptr));
  if (!document || page >= poppler_document_get_n_pages(document.get())) return "";
  UniqueObject<PopplerPage> shown(poppler_document_get_page(document.get(), page));
  UniqueString text(poppler_page_get_text(shown.get()));
  return text ? text.get() : "";
}

std::string labelText(GtkWidget *window, const char *name) {
  GtkWidget *label = findWidget(window, name);
  return label ? gtk_label_get_text(GTK_LABEL(label)) : "";
}

std::string accessibleText(GtkWidget *widget) {
  AtkObject *accessible = gtk_widget_get_accessible(widget);
  if (ATK_IS_TEXT(accessible)) {
    UniqueString text(atk_text_get_text(ATK_TEXT(accessible), 0, -1));
    return text ? text.get() : "";
  }
  const gchar *description = atk_object_get_description(accessible);
  return description ? description : "";
}

// Whether the widget's window shows anything but white and grey in its upper half.
bool showsInk(GtkWidget *widget) {
  GtkAllocation area;
  gtk_widget_get_allocation(widget, &area);
  UniqueObject<GdkPixbuf> shot(gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(widget), nullptr,
                                                            0, 0, 0, 0, area.width, area.height / 2));
  if (!shot) return false;
  int stride = gdk_pixbuf_get_rowstride(shot.get()), channels = gdk_pixbuf_get_n_channels(shot.get());
  const guchar *pixels = gdk_pixbuf_get_pixels(shot.get());
  for (int y = 0; y < gdk_pixbuf_get_height(shot.get()); ++y)
    for (int x = 0; x < gdk_pixbuf_get_width(shot.get()); ++x)
      if (pixels[y * stride + x * channels] < 60) return true;
  return false;
}

int picturesShown(GtkWidget *textView) {
  GtkTextIter at;
  gtk_text_buffer_get_start_iter(gtk_text_view_get_buffer(GTK_TEXT_VIEW(textView)), &at);
  int count = 0;
  do count += gtk_text_iter_get_pixbuf(&at) != nullptr ? 1 : 0;
  while (gtk_text_iter_forward_char(&at));
  return count;
}

GtkWidget *openReader(const std::string &file, bool pdf) {
  ReaderReport report;
  report.file = file;
  report.name = file;
  report.pdf = pdf;
  report.pageHead = wrapperPageHead();
  report.pageTail = wrapperPageTail();
  GtkWidget *window = openReportReader(report);
  drainEvents();
  return window;
}

TEST(ReportReaderTest, PdfPagesAreDrawnReadOutAndPrinted) {
  loadAccessibilityModule();
  ScopedMedium medium;
  writePdf(medium.path("wynik.pdf"), 3, 595, 842);
  GtkWidget *window = openReader(medium.path("wynik.pdf"), true);
  GtkWidget *pages = findWidget(window, "StronyOpisu");
  ASSERT_NE(pages, nullptr);
  EXPECT_TRUE(waitUntil([&] { return showsInk(pages); }));
  EXPECT_EQ(labelText(window, "StronaOpisu"), "Strona 1 z 3");
  std::string expected =
      words(commandOutput("pdftotext -f 1 -l 1 -enc UTF-8 " + medium.path("wynik.pdf") + " -"));
  EXPECT_NE(expected.find("strona 1: żółć"), std::string::npos);
  EXPECT_EQ(words(accessibleText(pages)), expected);

  struct Step {
    guint key;
    const char *caption;
  } steps[] = {{GDK_Page_Down, "Strona 2 z 3"}, {GDK_End, "Strona 3 z 3"},  {GDK_Page_Up, "Strona 3 z 3"},
               {GDK_Page_Up, "Strona 2 z 3"},   {GDK_Home, "Strona 1 z 3"}, {GDK_plus, "Strona 1 z 3"}};
  for (const Step &step : steps) {
    sendKey(window, step.key);
    EXPECT_EQ(labelText(window, "StronaOpisu"), step.caption) << gdk_keyval_name(step.key);
  }
  EXPECT_NE(words(accessibleText(pages)).find("strona 1"), std::string::npos);

  std::string printed = medium.path("wydruk.pdf");
  UniqueString uri(g_filename_to_uri(medium.path("wynik.pdf").c_str(), nullptr, nullptr));
  UniqueObject<PopplerDocument> document(poppler_document_new_from_file(uri.get(), nullptr, nullptr));
  EXPECT_EQ(printReport(GTK_WINDOW(window), document.get(), ReaderDocument(), printed, nullptr),
            GTK_PRINT_OPERATION_RESULT_APPLY);
  EXPECT_EQ(words(pdfText(printed, 2)), words(pdfText(medium.path("wynik.pdf"), 2)));
  gtk_widget_destroy(window);
}

TEST(ReportReaderTest, HtmlReportShowsItsTextAndPicturesAndPrints) {
  loadAccessibilityModule();
  ScopedMedium medium;
  medium.writePicture("img/head_.jpg", 160, 88);
  medium.writePicture("images/tk.jpg", 64, 64);
  medium.writeFile("opisy/opis.html",
                   "<h2>Opis badania</h2><p>Pacjentka: <b>Zofia Wi\x9cniewska</b></p>"
                   "<p><img src=\"../images/tk.jpg\" alt=\"TK\"></p><p>Wnioski: bez zmian.</p>");
  GtkWidget *window = openReader(medium.path("opisy/opis.html"), false);
  GtkWidget *text = findWidget(window, "TekstOpisu");
  ASSERT_NE(text, nullptr);
  std::string shown = accessibleText(text);
  EXPECT_NE(shown.find("Opis badania\n\nPacjentka: Zofia Wiśniewska"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Wnioski: bez zmian."), std::string::npos);
  // The page design's header picture and the report's own picture.
  EXPECT_EQ(picturesShown(text), 2);

  // On paper the text with the picture that loads, the other by its alternative text.
  std::string printed = medium.path("wydruk.pdf");
  ReaderDocument document;
  document.runs.push_back({ReaderRun::Kind::Text, "Pacjentka: Zofia Wiśniewska\n", "", true});
  document.runs.push_back({ReaderRun::Kind::Picture, "TK", medium.path("images/tk.jpg")});
  document.runs.push_back({ReaderRun::Kind::Picture, "brak", medium.path("images/brak.jpg")});
  document.runs.push_back({ReaderRun::Kind::Text, "\nWnioski", ""});
  EXPECT_EQ(printReport(GTK_WINDOW(window), nullptr, document, printed, nullptr),
            GTK_PRINT_OPERATION_RESULT_APPLY);
  EXPECT_EQ(words(pdfText(printed, 0)), "Pacjentka: Zofia Wiśniewska [brak] Wnioski");
  UniqueString printedUri(g_filename_to_uri(printed.c_str(), nullptr, nullptr));
  UniqueObject<PopplerDocument> paper(poppler_document_new_from_file(printedUri.get(), nullptr, nullptr));
  ASSERT_TRUE(paper);
  UniqueObject<PopplerPage> sheet(poppler_document_get_page(paper.get(), 0));
  GList *images = poppler_page_get_image_mapping(sheet.get());
  EXPECT_EQ(g_list_length(images), 1u);
  poppler_page_free_image_mapping(images);
  gtk_widget_destroy(window);
}

TEST(ReportReaderTest, ReportsMadeToHurtGiveAMessageOrABoundedView) {
  loadAccessibilityModule();
  ScopedMedium outside;
  outside.writePicture("obcy.png", 8, 8);
  ScopedMedium medium;  // the current directory from here on
  medium.writeFile("uszkodzony.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << >>\n%%EOF");
  medium.writeFile(
      "zaszyfrowany.pdf",
      "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Count 0/Kids[]>>endobj\n"
      "3 0 obj<</Filter/Standard/V 1/R 2/O(0123456789abcdef0123456789abcdef)"
      "/U(0123456789abcdef0123456789abcdef)/P -4>>endobj\n"
      "trailer<</Root 1 0 R/Encrypt 3 0 R/ID[(a)(a)]>>\n%%EOF");
  writePdf(medium.path("tysiace.pdf"), 10000, 200, 100);
  writePdf(medium.path("ogromna.pdf"), 1, 200000, 200000);
  // A sparse file: 100 MB of page without the disc space.
  int huge = open(medium.path("ogromny.html").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(ftruncate(huge, 100 * 1024 * 1024), 0);
  close(huge);
  // A picture whose header promises 100000 x 100000 pixels, and one off the medium.
  std::string bomb("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x02\0\0\0", 29);
  medium.writeFile("images/bomba.png", bomb + std::string(64, '\0'));
  medium.writeFile("obrazy.html", "<p>tekst <img src=\"images/bomba.png\" alt=\"bomba\"><img src=\"" +
                                      outside.path("obcy.png") + "\" alt=\"obcy\"></p>");
  struct Case {
    const char *file;
    const char *message;  // the message shown, or empty
    const char *caption;  // the page caption, or the text shown, when there is no message
  } cases[] = {
      {"uszkodzony.pdf", "Nie można odczytać opisu: plik jest uszkodzony albo nie jest dokumentem PDF.", ""},
      {"zaszyfrowany.pdf", "Opis jest zabezpieczony hasłem, więc nie można go tu wyświetlić.", ""},
      {"tysiace.pdf", "", "Strona 1 z 10000"},
      {"ogromna.pdf", "", "Strona 1 z 1"},
      {"ogromny.html",
       "Opis jest zbyt duży (ponad 16 MB), by go tu wyświetlić. Można zapisać jego kopię przyciskiem „Zapisz "
       "kopię…”.",
       ""},
      {"obrazy.html", "", "tekst [bomba][obcy]"},
  };
  for (const Case &c : cases) {
    std::string file = medium.path(c.file);
    GtkWidget *window = openReader(file, g_str_has_suffix(c.file, ".pdf"));
    EXPECT_EQ(labelText(window, "KomunikatCzytnika"), c.message) << c.file;
    if (*c.caption && g_str_has_suffix(c.file, ".pdf")) {
      EXPECT_EQ(labelText(window, "StronaOpisu"), c.caption);
    }
    if (*c.caption && g_str_has_suffix(c.file, ".html")) {
      EXPECT_NE(accessibleText(findWidget(window, "TekstOpisu")).find(c.caption), std::string::npos)
          << c.file;
      EXPECT_EQ(picturesShown(findWidget(window, "TekstOpisu")), 0);
    }
    sendKey(window, GDK_End);
    gtk_widget_destroy(window);
  }
}

TEST(ReportReaderTest, ACopyIsTheFileByteForByteAndNeverOnTheMedium) {
  ScopedMedium medium;
  medium.writeFile("wynik.pdf", std::string("%PDF\0\xff binarny", 15));
  medium.makeDirectory("opisy");
  g_chmod(medium.path("wynik.pdf").c_str(), 0444);  // as on a disc
  ScopedMedium home;
  home.writeFile("zajety.pdf", "inny");
  struct Case {
    std::string target;
    CopySaving result;
    std::string content;  // of the target afterwards
  } cases[] = {
      {home.path("kopia.pdf"), CopySaving::Saved, std::string("%PDF\0\xff binarny", 15)},
      {home.path("zajety.pdf"), CopySaving::Exists, "inny"},
      {medium.path("kopia.pdf"), CopySaving::OntoMedium, ""},
      {medium.path("opisy/../kopia2.pdf"), CopySaving::OntoMedium, ""},
      {home.path("brak/kopia.pdf"), CopySaving::Failed, ""},
  };
  std::string root = medium.root();
  for (const Case &c : cases) {
    EXPECT_EQ(saveReportCopy(medium.path("wynik.pdf"), c.target, root), c.result) << c.target;
    EXPECT_EQ(readFile(c.target), c.content) << c.target;
    GStatBuf status;  // a copy is the user's to change
    EXPECT_TRUE(g_stat(c.target.c_str(), &status) != 0 || (status.st_mode & 0200)) << c.target;
  }
}

// In a child process with a desktop that has no program for any report.
TEST(ReportReaderTest, WithoutAProgramForReportsTheTileOpensTheReaderAfterTheWarning) {
  if (childRunRole() != "no-handler") {
    DesktopEnvironment desktop;
    ChildResult child =
        runTestInChild("ReportReaderTest.WithoutAProgramForReportsTheTileOpensTheReaderAfterTheWarning",
                       "no-handler", desktop.variables());
    EXPECT_EQ(child.exitStatus, 0) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
    return;
  }
  loadAccessibilityModule();
  ScopedMedium medium;
  medium.writeFile("descrlist.js", "var d = [\"opis.html\"];");
  medium.writeFile("opis.html", "<p>Obraz TK g\xb3owy bez zmian ogniskowych.</p>");
  currentPath = medium.root() + "/";
  testing::internal::CaptureStdout();
  createTmpDirectory();
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget *row = gtk_hbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window), row);
  buildDescriptionsTile(row);
  gtk_widget_show_all(window);
  drainEvents();
  sendButtonEvent(childrenOf(row).front());
  testing::internal::GetCapturedStdout();
  std::vector<GtkWidget *> warnings = messageDialogsTitled("Opis badania");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(findShownToplevel("CzytnikOpisu"), nullptr);
  gtk_dialog_response(GTK_DIALOG(warnings.front()), GTK_RESPONSE_OK);
  drainEvents();
  GtkWidget *reader = findShownToplevel("CzytnikOpisu");
  ASSERT_NE(reader, nullptr);
  EXPECT_NE(accessibleText(findWidget(reader, "TekstOpisu")).find("Obraz TK głowy bez zmian ogniskowych."),
            std::string::npos);
  gtk_widget_destroy(reader);
  gtk_widget_destroy(window);
  removeTmpDirectory();
  descriptionList.clear();
}

}  // namespace
