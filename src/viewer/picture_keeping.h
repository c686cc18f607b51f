// Keeping the picture shown: saved as PNG into a folder the user chose, copied
// to the clipboard, printed. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// Why pictures may not be saved into `folder` (Polish), empty when they may:
// not onto the medium the viewer runs from (any of `mediumFolders` or below),
// which is read-only or goes away with the disc, and not into the working
// directory, whose files the program's own runs may replace.
std::string savingRefusal(const std::string &folder, const std::vector<std::string> &mediumFolders,
                          const std::string &workingDirectory);

// Writes `picture` as PNG into `folder` under the first free name of "`stem`.png",
// "`stem`-2.png", …: under a temporary name first, renamed once whole, so that
// no part of a picture is ever left under its name. The path written; empty,
// with nothing left behind and `error` (Polish) set, on failure.
std::string savePicture(GdkPixbuf *picture, const std::string &folder, const std::string &stem,
                        std::string &error);

// Puts `picture` on the clipboard (Ctrl+V elsewhere pastes it).
void copyPicture(GdkPixbuf *picture);

// Prints `picture` on one page, as large as fits, through the toolkit's print
// dialog; into the PDF file `exportPdf` without a dialog when given. False,
// with `error` (Polish), when printing failed.
bool printPicture(GtkWindow *parent, GdkPixbuf *picture, const std::string &exportPdf, std::string &error);
