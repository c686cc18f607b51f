// The viewer settings file gtk/bin/viewer.ini: which program the diagnostic
// tile starts and the title of the splash window to watch for.
#pragma once

#include <cstddef>
#include <map>
#include <string>

// Value of "viewer" that selects the default viewer, Program/DICOMViewer.exe,
// started after the runtime check.
extern const char *const kDefaultViewerName;
// Title of the default viewer's splash window.
extern const char *const kDefaultSplashTitle;

// Exactly two entries: "exe" (the program) and "windowClassName" (the title of
// its splash window).
using ViewerParameters = std::map<std::string, std::string>;

// The settings in `content`, defaults for whatever it does not set. Each line
// is split at its first "="; lines without one are skipped. Keys are compared
// exactly; the value is the rest of the line, blanks and further "=" included.
// Only the line break is removed: LF, and CR before it, since the file may
// have been written on Windows. The last occurrence of a key wins.
ViewerParameters parseViewerSettings(const std::string &content);

// The largest settings file read; a larger one is not a settings file.
constexpr size_t kLargestViewerSettings = 1024 * 1024;

// The settings read from the regular file at `path`; the defaults when it
// cannot be read, is something else (a pipe, a device) or is larger than
// kLargestViewerSettings.
ViewerParameters readViewerSettings(const std::string &path);
