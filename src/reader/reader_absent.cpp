// A build without the report reader: reports go to the desktop's programs only.
#include "reader/report_reader.h"

bool reportReaderAvailable() { return false; }

GtkWidget *openReportReader(const ReaderReport &) { return nullptr; }
