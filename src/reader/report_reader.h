// The navigator's own reader of reports, for a desktop that has no program
// for them: a window showing a PDF's pages or an HTML report's text, with
// zoom, printing and saving a copy. It writes nothing but the copies the user
// saves. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>

struct ReaderReport {
  // The report's file, absolute or relative to the medium root.
  std::string file;
  // The report's name as the list gives it, shown in the title.
  std::string name;
  bool pdf = false;
  // The page design around an HTML report: the text before and after it.
  std::string pageHead;
  std::string pageTail;
};

// Whether this build has the reader.
bool reportReaderAvailable();

// Shows the report in a reader window, or brings the one already showing it
// to the front; a report that cannot be shown is explained inside the window.
// Null when this build has no reader.
GtkWidget *openReportReader(const ReaderReport &report);
