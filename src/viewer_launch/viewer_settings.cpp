// The viewer settings file gtk/bin/viewer.ini.
#include "viewer_launch/viewer_settings.h"

#include "platform/platform.h"

const char *const kDefaultViewerName = "DICOMViewer.exe";
const char *const kDefaultSplashTitle = "DICOMViewerSplash";

namespace {

void applyLine(const std::string &line, ViewerParameters &parameters) {
  std::string::size_type equals = line.find('=');
  if (equals == std::string::npos) return;
  std::string key = line.substr(0, equals);
  if (key == "viewer")
    parameters["exe"] = line.substr(equals + 1);
  else if (key == "windowClassName")
    parameters["windowClassName"] = line.substr(equals + 1);
}

}  // namespace

ViewerParameters parseViewerSettings(const std::string &content) {
  ViewerParameters parameters{{"exe", kDefaultViewerName}, {"windowClassName", kDefaultSplashTitle}};
  std::string::size_type start = 0;
  while (start < content.size()) {
    std::string::size_type newline = content.find('\n', start);
    std::string::size_type end = newline == std::string::npos ? content.size() : newline;
    std::string::size_type next = newline == std::string::npos ? content.size() : newline + 1;
    // A CR counts as part of the line break only right before its LF.
    if (newline != std::string::npos && end > start && content[end - 1] == '\r') --end;
    applyLine(content.substr(start, end - start), parameters);
    start = next;
  }
  return parameters;
}

ViewerParameters readViewerSettings(const std::string &path) {
  // A file that cannot be opened or read (missing, a folder, unreadable) leaves
  // the defaults; so does anything but a regular file (a pipe would block the
  // press) and a file too large to be settings.
  std::string content;
  if (!platform::readRegularFile(path, kLargestViewerSettings, content)) return parseViewerSettings("");
  return parseViewerSettings(content);
}
