// The pictures of an HTML report as the reader shows and prints them: decoded
// at most as wide as the report's column, and never when their file or the
// size their header gives would take much memory. Main thread only.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>

// Pixels wide a picture is shown at most.
constexpr int kWidestReportPicture = 700;

// The picture in the file `path` at most kWidestReportPicture wide, or null
// when it cannot or must not be decoded. The caller owns the result.
GdkPixbuf *loadReportPicture(const std::string &path);
