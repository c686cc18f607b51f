// The window "Atrybuty DICOM": every attribute of one image file as a tree
// (tag, name, VR, value, private ones marked) with a search box that keeps
// the rows whose tag, name or value holds what is typed. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Opens the window for the file `path` (UTF-8) above `parent`; `label` names
// the image in the title.
GtkWidget *openAttributeWindow(GtkWindow *parent, const std::string &path, const std::string &label);
