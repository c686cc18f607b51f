// The "ObrazOpis" tile of the main window, present when the list file names a report.
#pragma once

#include <gtk/gtk.h>

// Reads the working directory's copy of the list file into descriptionList
// and, when it names at least one report, adds the "ObrazOpis" tile to
// `tilesRow`. Without a list, a readable one or an entry: no tile, no message.
void buildDescriptionsTile(GtkWidget *tilesRow);
