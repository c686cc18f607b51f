// Opening one report with the desktop's programs: HTML through the wrapper
// page and the web browser, PDF after checking that a PDF reader is
// registered, with the warnings and the PDF reader prompt. Main thread only.
#pragma once

#include "descriptions/description_list.h"

#include <gtk/gtk.h>

#include <string>

// The PDF reader vendor's download page, offered by the prompt.
extern const char *const pdfReaderDownloadUrl;

// The prompt "Zainstaluj program ADOBE READER" while it is open, otherwise
// null; reset by the window's destroy notification.
extern GtkWidget *pdfReaderPromptWindow;

// Opens `entry` for the user; warnings are owned by `parentWindow` (null when
// the tile opened the only report directly).
void openDescription(const DescriptionEntry &entry, GtkWidget *parentWindow);

// Opens `entry` in the navigator's own reader, whatever the desktop offers;
// a missing report is warned about as by openDescription.
void openDescriptionInReader(const DescriptionEntry &entry, GtkWidget *parentWindow);

// "key-press-event" of a report's tile or column: Ctrl+Enter opens `entry`
// (which outlives the widget) in the navigator's own reader.
gboolean onReaderKeyOfReport(GtkWidget *widget, GdkEventKey *event, const DescriptionEntry *entry);

// Hands `path` to the shell's default verb with the medium root as working
// directory; true when the shell accepted it.
bool openWithShell(const std::string &path);

// True when the registry holds no PDF reader (HKEY_CURRENT_USER
// "SOFTWARE\Adobe\Acrobat Reader" is missing); asked afresh on every call.
bool isPdfReaderMissing();

// Shows the PDF reader prompt, or brings the open one to the front.
void showPdfReaderPrompt();

// "activate-link" handler of the prompt's label: the download link closes the
// prompt and opens the download page; other links are left to the toolkit.
gboolean onDownloadLinkActivated(GtkLabel *label, const gchar *uri, gpointer);
