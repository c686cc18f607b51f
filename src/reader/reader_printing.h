// Printing a report through the toolkit's print dialog: a PDF's own pages,
// or an HTML report's text laid out on the paper. Main thread only.
#pragma once

#include "reader/html_text.h"

#include <gtk/gtk.h>
#include <poppler.h>

#include <string>

// The report's text as Pango markup, with its headings, bold, italic and
// fixed-width text; pictures by their alternative text.
std::string readerMarkup(const ReaderDocument &document);

// Prints `pdf` when given, otherwise `markup`: through the print dialog, or,
// with `exportFile`, into that PDF file without a dialog. The operation's
// result; GTK_PRINT_OPERATION_RESULT_ERROR with `error` set on failure.
GtkPrintOperationResult printReport(GtkWindow *parent, PopplerDocument *pdf, const std::string &markup,
                                    const std::string &exportFile, std::string *error);
