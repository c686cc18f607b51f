// Printing a report through the toolkit's print dialog: a PDF's own pages,
// or an HTML report's text laid out on the paper. Main thread only.
#pragma once

#include "reader/html_text.h"

#include <gtk/gtk.h>
#include <poppler.h>

#include <string>
#include <vector>

// The character that stands for a picture in the printed text.
constexpr const char *kPictureStandIn = "\xEF\xBF\xBC";

// The report's text as Pango markup, with its headings, bold, italic and
// fixed-width text. A picture run whose entry in `shown` is true stands as
// kPictureStandIn, any other by its alternative text; `shown` has one entry
// per picture run, in order, or none.
std::string readerMarkup(const ReaderDocument &document, const std::vector<bool> &shown = {});

// Prints `pdf` when given, otherwise the text of `html` with its pictures as
// the reader shows them: through the print dialog, or, with `exportFile`,
// into that PDF file without a dialog. In the dialog, printing into a file
// goes to `paperFile` unless the user picks another. The operation's result;
// GTK_PRINT_OPERATION_RESULT_ERROR with `error` set on failure.
GtkPrintOperationResult printReport(GtkWindow *parent, PopplerDocument *pdf, const ReaderDocument &html,
                                    const std::string &exportFile, std::string *error,
                                    const std::string &paperFile = "");
