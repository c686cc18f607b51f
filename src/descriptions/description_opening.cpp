// Opening one report with the desktop's programs.
#include "descriptions/description_opening.h"

#include "base/medium_links.h"
#include "base/medium_root.h"
#include "base/text.h"
#include "base/tmp_directory.h"
#include "base/trace.h"
#include "descriptions/wrapper_page.h"
#include "platform/directories.h"
#include "platform/platform.h"
#include "reader/report_reader.h"

#include <glib.h>

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <vector>

const char *const pdfReaderDownloadUrl = "https://get.adobe.com/pl/reader/";

GtkWidget *pdfReaderPromptWindow = nullptr;

namespace {

// Warning texts; %s stands for the report's path or name.
const char *const reportMissingMessage =
    "Plik \"%s\" opisu badania nie istnieje.\nPrawdopodobnie usunięto dysk CD z komputera.";
const char *const htmlOpenFailedMessage =
    "Otwarcie opisu badania z pliku \"%s\" nie powiddło się.\nPrawdopodobnie brak skojarzenia plików typu "
    "\"*.html\" \ni \"*.htm\" z przegladarką internetową lub innym programem.";
const char *const pdfOpenFailedMessage =
    "Otwarcie opisu badania z pliku \"%s\" nie powiddło się.\nPrawdopodobnie brak skojarzenia plików typu "
    "\"*.pdf\" \nz Acrobat Reader'em lub innym programem.";

// Reports waiting for the PDF reader prompt to close, to open in the reader then;
// process-wide as the prompt window is.
std::vector<ReaderReport> readersAfterPrompt;

ReaderReport readerReportOf(const DescriptionEntry &entry, const std::string &file) {
  ReaderReport report;
  report.file = currentPath + file;
  report.name = makeValidUtf8(entry);
  report.pdf = descriptionKind(entry) == DescriptionKind::Pdf;
  report.pageHead = wrapperPageHead();
  report.pageTail = wrapperPageTail();
  return report;
}

void openReaderAfterWarning(GtkDialog *dialog, gint, gpointer report) {
  gtk_widget_destroy(GTK_WIDGET(dialog));
  openReportReader(*static_cast<ReaderReport *>(report));
}

void onPromptClosed(GtkWidget *, gpointer) {
  std::vector<ReaderReport> waiting;
  waiting.swap(readersAfterPrompt);
  for (const ReaderReport &report : waiting) openReportReader(report);
}

// A warning owned by `parentWindow` that destroys itself on any answer; no
// modal loop, so several can be open at once. With `thenRead`, the report
// opens in the navigator's own reader once the warning is answered.
void showWarning(GtkWidget *parentWindow, const char *message, const std::string &path,
                 const ReaderReport *thenRead = nullptr) {
  std::string text = message;
  text.replace(text.find("%s"), 2, makeValidUtf8(path));
  GtkWidget *dialog = gtk_message_dialog_new(parentWindow ? GTK_WINDOW(parentWindow) : nullptr,
                                             GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_WARNING,
                                             GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Opis badania");
  if (thenRead != nullptr && reportReaderAvailable())
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(openReaderAfterWarning), new ReaderReport(*thenRead),
        [](gpointer report, GClosure *) { delete static_cast<ReaderReport *>(report); }, GConnectFlags(0));
  else
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

// `file` is the entry as a path here (entryFilePath); the warnings name the
// entry as the list gives it.
constexpr int kPromptWidth = 600;
constexpr int kPromptHeight = 100;

// A window's size request would be its size even where its contents need
// more, and at a larger desktop font the prompt's first line would be cut: the
// prompt is 600 x 100 where its text fits and as large as the text needs where
// it does not, whenever the font changes too.
void keepPromptLargeEnough(GtkWidget *, GtkRequisition *requisition, gpointer) {
  requisition->width = std::max(requisition->width, kPromptWidth);
  requisition->height = std::max(requisition->height, kPromptHeight);
}

void openHtmlDescription(const DescriptionEntry &entry, const std::string &file, GtkWidget *parentWindow) {
  // A page that could not be written opens only if this run wrote it before;
  // outside our own working directory nothing is opened at all.
  // When the desktop cannot show the page, the navigator's reader does, once
  // the warning is answered.
  ReaderReport report = readerReportOf(entry, file);
  bool written = writeWrapperPage(file);
  if (!written && !tmpDirectoryUsable()) {
    showWarning(parentWindow, htmlOpenFailedMessage, entry, &report);
    return;
  }
  if (!openWithShell(wrapperPagePath(file))) showWarning(parentWindow, htmlOpenFailedMessage, entry, &report);
}

void openPdfDescription(const DescriptionEntry &entry, const std::string &file, GtkWidget *parentWindow) {
  ReaderReport report = readerReportOf(entry, file);
  if (isPdfReaderMissing()) {
    // The prompt stays as it is; when it is closed, the report opens in the reader.
    if (reportReaderAvailable()) readersAfterPrompt.push_back(report);
    showPdfReaderPrompt();
    return;
  }
  // The shell starts a program rather than opening it: a "report" that is
  // one (a script or an executable image named .pdf) is refused like a report
  // that nothing can open. Windows picks the PDF reader by the name alone.
  // A "report" that is no file (a folder, a pipe) is refused too, and not
  // offered to the reader either: a PDF reader would wait on a pipe for ever,
  // and the file manager would open a folder.
  platform::EntryStatus status;
  if (!platform::entryStatus(file, platform::Links::follow, status) ||
      status.type != platform::EntryType::regularFile)
    showWarning(parentWindow, pdfOpenFailedMessage, entry);
  else if (platform::isProgramFile(file) || !openWithShell(file))
    showWarning(parentWindow, pdfOpenFailedMessage, entry, &report);
}

}  // namespace

// A report that is not there, or whose name leads off the disc.
bool reportMissing(const DescriptionEntry &entry, const std::string &file) {
  const std::string mediumPath = currentPath + file;
  return !entryStaysOnMedium(entry) || !g_file_test(mediumPath.c_str(), G_FILE_TEST_EXISTS) ||
         !resolvesInsideMedium(mediumPath, resolvedMediumRoot());
}

void openDescription(const DescriptionEntry &entry, GtkWidget *parentWindow) {
  trace("currentPath: " + currentPath + " file: " + entry);
  traceNoBreak("sklejone: " + currentPath + entry);

  // A name that leads off the disc, by its own text or through a link, is
  // not followed: it counts as a report that does not exist.
  const std::string file = entryFilePath(entry);
  if (reportMissing(entry, file)) {
    showWarning(parentWindow, reportMissingMessage, currentPath + entry);
    return;
  }
  switch (descriptionKind(entry)) {
    case DescriptionKind::Html:
      // The browser gets the page, a file of our own; a report that is no
      // regular file (a folder, a pipe) is read as unreadable, never waited on.
      openHtmlDescription(entry, file, parentWindow);
      break;
    case DescriptionKind::Pdf:
      openPdfDescription(entry, file, parentWindow);
      break;
    case DescriptionKind::Other:
      break;
  }
}

void openDescriptionInReader(const DescriptionEntry &entry, GtkWidget *parentWindow) {
  const std::string file = entryFilePath(entry);
  if (reportMissing(entry, file)) {
    showWarning(parentWindow, reportMissingMessage, currentPath + entry);
    return;
  }
  if (descriptionKind(entry) != DescriptionKind::Other) openReportReader(readerReportOf(entry, file));
}

gboolean onReaderKeyOfReport(GtkWidget *, GdkEventKey *event, const DescriptionEntry *entry) {
  if ((event->state & GDK_CONTROL_MASK) == 0 || (event->state & GDK_MOD1_MASK) != 0) return FALSE;
  if (event->keyval != GDK_Return && event->keyval != GDK_KP_Enter) return FALSE;
  openDescriptionInReader(*entry, nullptr);
  return TRUE;
}

bool openWithShell(const std::string &path) {
  platform::ProcessHandle process = 0;
  return platform::shellExecute(path, "", platform::currentDirectory(), process);
}

bool isPdfReaderMissing() {
  return !platform::registryKeyExists(platform::RegistryRoot::CurrentUser, "SOFTWARE\\Adobe\\Acrobat Reader");
}

void showPdfReaderPrompt() {
  if (pdfReaderPromptWindow != nullptr) {
    gtk_widget_show(pdfReaderPromptWindow);
    gtk_window_present(GTK_WINDOW(pdfReaderPromptWindow));
    return;
  }
  pdfReaderPromptWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_signal_connect_after(pdfReaderPromptWindow, "size-request", G_CALLBACK(keepPromptLargeEnough), nullptr);
  gtk_window_set_title(GTK_WINDOW(pdfReaderPromptWindow), "Zainstaluj program ADOBE READER");
  gtk_widget_set_name(pdfReaderPromptWindow, "InstalatorAdobe");
  gtk_window_set_position(GTK_WINDOW(pdfReaderPromptWindow), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_container_set_border_width(GTK_CONTAINER(pdfReaderPromptWindow), 10);
  g_signal_connect(pdfReaderPromptWindow, "destroy", G_CALLBACK(gtk_widget_destroyed),
                   &pdfReaderPromptWindow);
  g_signal_connect(pdfReaderPromptWindow, "destroy", G_CALLBACK(onPromptClosed), nullptr);

  GtkWidget *box = gtk_hbox_new(FALSE, 0);
  gtk_container_set_border_width(GTK_CONTAINER(box), 10);
  gtk_container_add(GTK_CONTAINER(pdfReaderPromptWindow), box);
  gtk_container_add(GTK_CONTAINER(box),
                    gtk_image_new_from_file(picturePath("/img/get_adobe_reader.png").c_str()));

  std::string markup =
      std::string(" Nie można wyświetlić opisu badania - brak programu ADOBE READER.\n\n <a href=\"") +
      pdfReaderDownloadUrl +
      "\"><span font='10'>Wejdź na stronę z instalatorem programu Adobe Reader </span></a> ";
  GtkWidget *label = gtk_label_new(nullptr);
  gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
  gtk_label_set_use_markup(GTK_LABEL(label), TRUE);
  gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
  g_signal_connect(label, "activate-link", G_CALLBACK(onDownloadLinkActivated), nullptr);
  gtk_container_add(GTK_CONTAINER(box), label);

  gtk_widget_show_all(pdfReaderPromptWindow);
  gtk_window_set_resizable(GTK_WINDOW(pdfReaderPromptWindow), FALSE);
  gtk_widget_show(pdfReaderPromptWindow);
  gtk_window_present(GTK_WINDOW(pdfReaderPromptWindow));
}

// ---- Signal handlers ----

gboolean onDownloadLinkActivated(GtkLabel *label, const gchar *uri, gpointer) {
  if (uri == nullptr || std::string(uri) != pdfReaderDownloadUrl) return FALSE;
  gtk_widget_destroy(gtk_widget_get_toplevel(GTK_WIDGET(label)));
  platform::shellOpen(platform::foregroundWindow(), pdfReaderDownloadUrl, "", "");
  return TRUE;
}
