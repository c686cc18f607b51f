// Opening a report as a user meets it: which file or address the shell gets,
// which warning says what, the PDF reader prompt, and entries that try to
// leave the medium.
#include "descriptions/description_opening.h"
#include "descriptions/wrapper_page.h"

#include "base/medium_root.h"
#include "descriptions/descriptions_fixture.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

// Removes a file or folder the test made outside the medium, however the test ends.
struct RemovedAtEnd {
  std::string path;
  ~RemovedAtEnd() {
    boost::system::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

class DescriptionOpeningTest : public DescriptionsTest {
 protected:
  std::string openTraced(const DescriptionEntry &entry, GtkWidget *parent = nullptr) {
    testing::internal::CaptureStdout();
    openDescription(entry, parent);
    return testing::internal::GetCapturedStdout();
  }
  std::string cwd() { return platform::currentDirectory(); }
};

std::string missingText(const std::string &path) {
  return "Plik \"" + path + "\" opisu badania nie istnieje.\nPrawdopodobnie usunięto dysk CD z komputera.";
}

TEST_F(DescriptionOpeningTest, HtmlReportOpensAsItsWrapperPageInTheWorkingDirectory) {
  medium_.writeFile("opis.html", "<p>Wynik</p>\n");
  startRun();
  std::string traced = openTraced("opis.html");

  EXPECT_EQ(traced,
            "currentPath: " + currentPath + " file: opis.html\nsklejone: " + currentPath + "opis.html");
  EXPECT_EQ(readFile(tmpPath("/opis.html")), wrapperPageText(std::string("<p>Wynik</p>\n")));
  auto calls = shellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].withRecord);
  EXPECT_EQ(calls[0].file, tmpPath("/opis.html"));
  EXPECT_EQ(calls[0].parameters, "");
  EXPECT_EQ(calls[0].workingDirectory, cwd());
  EXPECT_TRUE(warnings().empty());

  // Opening again rewrites the page from the report as it is now.
  medium_.writeFile("opis.html", "<p>Nowy</p>");
  openTraced("opis.html");
  EXPECT_EQ(readFile(tmpPath("/opis.html")), wrapperPageText(std::string("<p>Nowy</p>")));
  EXPECT_EQ(shellCalls().size(), 2u);
}

TEST_F(DescriptionOpeningTest, ReportInASubfolderGetsAPrivateFolderInTheWorkingDirectory) {
  medium_.writeFile("opisy/tk/glowa.htm", "<p>TK</p>");
  medium_.writeFile("opisy/wynik.pdf", "%PDF");
  medium_.writeFile("img/head_.jpg", "header picture");
  startRun();
  registerPdfReader();
  // A list written on Windows separates the folders with backslashes.
  for (const char *entry : {"opisy/tk/glowa.htm", "opisy\\tk\\glowa.htm", "opisy\\wynik.pdf"})
    openTraced(entry);

  EXPECT_EQ(readFile(tmpPath("/opisy/tk/glowa.htm")), wrapperPageText(std::string("<p>TK</p>")));
  for (const char *folder : {"/opisy", "/opisy/tk"}) {
    struct stat info;
    ASSERT_EQ(stat(tmpPath(folder).c_str(), &info), 0) << folder;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
  auto calls = shellCalls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].file, tmpPath("/opisy/tk/glowa.htm"));
  EXPECT_EQ(calls[1].file, tmpPath("/opisy/tk/glowa.htm"));
  EXPECT_EQ(calls[2].file, "opisy/wynik.pdf");
  EXPECT_TRUE(warnings().empty());
  // The page design's pictures, named relative to the page, resolve there too.
  EXPECT_EQ(readFile(tmpPath("/opisy/tk/img/head_.jpg")), "header picture");
  EXPECT_FALSE(fs::exists(tmpPath("/opisy/img")));
}

TEST_F(DescriptionOpeningTest, ReadAndWriteFailuresGoToStandardErrorAndTheShellIsStillAsked) {
  medium_.makeDirectory("katalog.html");  // exists, but cannot be read as a file
  medium_.writeFile("zajete.html", "<p>x</p>");
  startRun();
  fs::create_directories(tmpPath("/zajete.html"));  // the page path is taken by a folder

  testing::internal::CaptureStderr();
  openTraced("katalog.html");
  std::string readError = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(readError.empty());
  EXPECT_EQ(readError.back(), '\n');
  EXPECT_EQ(readFile(tmpPath("/katalog.html")), wrapperPageHead());

  testing::internal::CaptureStderr();
  openTraced("zajete.html");
  std::string writeError = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(writeError.empty());

  auto calls = shellCalls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].file, tmpPath("/katalog.html"));
  EXPECT_EQ(calls[1].file, tmpPath("/zajete.html"));
}

TEST_F(DescriptionOpeningTest, MissingReportWarnsOwnedByTheChooserAndOpensNothing) {
  startRun();
  GtkWidget *parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  openTraced("brak.html", parent);
  openTraced("brak.pdf");

  auto shown = warnings();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(warningText(shown[0]), missingText(currentPath + "brak.html"));
  EXPECT_EQ(warningText(shown[1]), missingText(currentPath + "brak.pdf"));
  EXPECT_EQ(GTK_WIDGET(gtk_window_get_transient_for(GTK_WINDOW(shown[0]))), parent);
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(shown[1])), nullptr);
  GtkMessageType type;
  g_object_get(shown[0], "message-type", &type, nullptr);
  EXPECT_EQ(type, GTK_MESSAGE_WARNING);
  EXPECT_TRUE(shellCalls().empty());
  EXPECT_FALSE(fs::exists(tmpPath("/brak.html")));

  // Any answer closes the dialog; the one owned by the chooser goes with it.
  gtk_dialog_response(GTK_DIALOG(shown[1]), GTK_RESPONSE_OK);
  drainEvents();
  EXPECT_EQ(warnings().size(), 1u);
  gtk_widget_destroy(parent);
  drainEvents();
  EXPECT_TRUE(warnings().empty());
}

TEST_F(DescriptionOpeningTest, ShellRefusalShowsTheWarningOfTheReportsKind) {
  medium_.writeFile("a.html", "x");
  medium_.writeFile("b.pdf", "%PDF");
  startRun();
  registerPdfReader();
  fakedesktop::Access()->shellAccepts = false;
  openTraced("a.html");
  openTraced("b.pdf");

  auto shown = warnings();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(warningText(shown[0]),
            "Otwarcie opisu badania z pliku \"a.html\" nie powiddło się.\nPrawdopodobnie brak skojarzenia "
            "plików typu \"*.html\" \ni \"*.htm\" z przegladarką internetową lub innym programem.");
  EXPECT_EQ(warningText(shown[1]),
            "Otwarcie opisu badania z pliku \"b.pdf\" nie powiddło się.\nPrawdopodobnie brak skojarzenia "
            "plików typu \"*.pdf\" \nz Acrobat Reader'em lub innym programem.");
}

TEST_F(DescriptionOpeningTest, PdfOpensInPlaceWhenAReaderIsRegistered) {
  medium_.writeFile("opisy/wynik.pdf", "%PDF");
  startRun();
  registerPdfReader();
  openTraced("opisy/wynik.pdf");

  auto calls = shellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].file, "opisy/wynik.pdf");
  EXPECT_EQ(calls[0].workingDirectory, cwd());
  EXPECT_FALSE(fs::exists(tmpPath("/opisy")));
  EXPECT_EQ(pdfReaderPromptWindow, nullptr);
}

TEST_F(DescriptionOpeningTest, PdfWithoutReaderShowsOnePromptAndAsksNoShell) {
  medium_.writeFile("a.pdf", "%PDF");
  medium_.writeFile("b.pdf", "%PDF");
  startRun();
  openTraced("a.pdf");
  ASSERT_NE(pdfReaderPromptWindow, nullptr);
  GtkWidget *prompt = pdfReaderPromptWindow;
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(prompt)), "Zainstaluj program ADOBE READER");
  EXPECT_STREQ(gtk_widget_get_name(prompt), "InstalatorAdobe");
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(prompt)));
  EXPECT_TRUE(gtk_widget_get_visible(prompt));
  ASSERT_TRUE(waitUntil([&] { return gtk_widget_get_mapped(prompt); }));
  GtkAllocation size;
  gtk_widget_get_allocation(prompt, &size);
  EXPECT_EQ(std::make_pair(size.width, size.height), std::make_pair(600, 100));  // the text fits

  GtkWidget *box = childrenOf(prompt).at(0);
  std::vector<GtkWidget *> parts = childrenOf(box);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_TRUE(imageShowsFile(parts[0], tmpPath("/img/get_adobe_reader.png")));
  GtkLabel *label = GTK_LABEL(parts[1]);
  EXPECT_STREQ(gtk_label_get_text(label),
               " Nie można wyświetlić opisu badania - brak programu ADOBE READER.\n\n Wejdź na stronę z "
               "instalatorem programu Adobe Reader  ");
  EXPECT_NE(
      std::string(gtk_label_get_label(label)).find(std::string("href=\"") + pdfReaderDownloadUrl + "\""),
      std::string::npos);
  EXPECT_EQ(gtk_label_get_justify(label), GTK_JUSTIFY_CENTER);

  openTraced("b.pdf");
  EXPECT_EQ(pdfReaderPromptWindow, prompt);
  EXPECT_EQ(toplevelsNamed("InstalatorAdobe").size(), 1u);
  EXPECT_TRUE(shellCalls().empty());

  // Installing the reader takes effect at the next attempt.
  registerPdfReader();
  openTraced("b.pdf");
  EXPECT_EQ(shellCalls().size(), 1u);
}

TEST_F(DescriptionOpeningTest, PromptShowsEveryLineWholeAtTheDesktopsFont) {
  medium_.writeFile("a.pdf", "%PDF");
  startRun();
  GtkSettings *settings = gtk_settings_get_default();
  gchar *desktopFont = nullptr;
  g_object_get(settings, "gtk-font-name", &desktopFont, nullptr);
  for (const std::string &font : {std::string(desktopFont), std::string("Sans 16")}) {
    g_object_set(settings, "gtk-font-name", font.c_str(), nullptr);
    openTraced("a.pdf");
    GtkWidget *label = childrenOf(childrenOf(pdfReaderPromptWindow).at(0)).at(1);
    EXPECT_TRUE(waitUntil([&] {
      GtkRequisition needed;
      gtk_widget_size_request(label, &needed);
      GtkAllocation shown, window;
      gtk_widget_get_allocation(label, &shown);
      gtk_widget_get_allocation(pdfReaderPromptWindow, &window);
      return gtk_widget_get_mapped(label) && shown.width >= needed.width && shown.height >= needed.height &&
             window.width >= 600 && window.height >= 100;
    })) << font;
    gtk_widget_destroy(pdfReaderPromptWindow);
  }
  g_object_set(settings, "gtk-font-name", desktopFont, nullptr);
  g_free(desktopFont);
}

TEST_F(DescriptionOpeningTest, DownloadLinkClosesThePromptAndOpensTheDownloadPage) {
  medium_.writeFile("a.pdf", "%PDF");
  startRun();
  fakedesktop::Access()->foreground = 0x77;
  openTraced("a.pdf");
  ASSERT_NE(pdfReaderPromptWindow, nullptr);
  GtkWidget *label = childrenOf(childrenOf(pdfReaderPromptWindow).at(0)).at(1);

  // Another link is left to the toolkit's own handling (not run here: it
  // would ask the desktop to show the page).
  EXPECT_FALSE(onDownloadLinkActivated(GTK_LABEL(label), "https://example.org/", nullptr));
  EXPECT_FALSE(onDownloadLinkActivated(GTK_LABEL(label), "https://get.adobe.com/pl/reader", nullptr));
  EXPECT_NE(pdfReaderPromptWindow, nullptr);
  EXPECT_TRUE(shellCalls().empty());

  // Held as the toolkit holds a widget while it delivers an event to it.
  g_object_ref(label);
  gboolean handled = FALSE;
  g_signal_emit_by_name(label, "activate-link", pdfReaderDownloadUrl, &handled);
  g_object_unref(label);
  drainEvents();
  EXPECT_TRUE(handled);
  EXPECT_EQ(pdfReaderPromptWindow, nullptr);
  EXPECT_TRUE(toplevelsNamed("InstalatorAdobe").empty());
  auto calls = shellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].withRecord);
  EXPECT_EQ(calls[0].owner, 0x77u);
  EXPECT_EQ(calls[0].file, pdfReaderDownloadUrl);
  EXPECT_EQ(calls[0].parameters, "");
  EXPECT_EQ(calls[0].workingDirectory, "");

  // The next PDF without a reader builds the prompt anew.
  openTraced("a.pdf");
  EXPECT_NE(pdfReaderPromptWindow, nullptr);
}

// Names that lead off the medium are reports that do not exist: nothing is
// read, written or opened, wherever the name points.
TEST_F(DescriptionOpeningTest, EntriesLeavingTheMediumAreMissingReports) {
  std::string outsideName = "velmora-outside-" + std::to_string(getpid()) + ".html";
  std::string outsidePath = fs::path(medium_.root()).parent_path().string() + "/" + outsideName;
  RemovedAtEnd outsideFile{outsidePath};
  {
    std::FILE *file = std::fopen(outsidePath.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("outside", file);
    std::fclose(file);
  }
  medium_.writeFile("a/placeholder", "");
  medium_.writeFile("..\\" + outsideName, "backslash name");
  medium_.writeFile("abs.html", "absolute");
  startRun();
  registerPdfReader();

  const std::string entries[] = {
      "../" + outsideName,      "a/../../" + outsideName,
      "..\\" + outsideName,     "a\\..\\..\\" + outsideName,
      medium_.path("abs.html"), "\\abs.html",
      "C:\\abs.html",           "../" + outsideName + ".pdf",
  };
  for (const std::string &entry : entries) {
    openTraced(entry);
    auto shown = warnings();
    ASSERT_EQ(shown.size(), 1u) << entry;
    EXPECT_EQ(warningText(shown[0]), missingText(currentPath + entry)) << entry;
    gtk_widget_destroy(shown[0]);
  }
  EXPECT_TRUE(shellCalls().empty());
  EXPECT_EQ(readFile(outsidePath), "outside");
  // The working directory holds only what the start-up copied and the run's marker.
  std::vector<std::string> written;
  for (fs::recursive_directory_iterator it(tmpDirectory), end; it != end; ++it)
    written.push_back(fs::relative(it->path(), tmpDirectory).string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written,
            (std::vector<std::string>{".velmora-run", "img", "img/get_adobe_reader.png", "img/html2.png",
                                      "img/opis_a.jpg", "img/opis_n.jpg", "img/pdf2.png"}));
}

TEST_F(DescriptionOpeningTest, WithoutItsOwnWorkingDirectoryNothingIsWrittenOrOpened) {
  medium_.writeFile("opis.html", "<p>Wynik</p>");
  startRun();
  // A directory of that name that this run did not create (as when the name was taken).
  removeTmpDirectory();
  ASSERT_FALSE(tmpDirectoryUsable());
  fs::create_directories(tmpDirectory);
  RemovedAtEnd plantedDirectory{tmpDirectory};
  testing::internal::CaptureStderr();
  openTraced("opis.html");
  std::string errors = testing::internal::GetCapturedStderr();

  EXPECT_FALSE(errors.empty());
  EXPECT_TRUE(fs::is_empty(tmpDirectory));
  EXPECT_TRUE(shellCalls().empty());
  auto shown = warnings();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(warningText(shown[0]).rfind("Otwarcie opisu badania z pliku \"opis.html\"", 0), 0u);
}

}  // namespace
