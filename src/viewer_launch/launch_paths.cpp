// Paths of the viewer launch, all below the medium root.
#include "viewer_launch/launch_paths.h"

#include <algorithm>

std::string pathOnMedium(const std::string &root, const std::string &relative) {
  // Without a known root (the current directory could not be read) the path stays relative to it.
  if (root.empty() || root.back() == '/') return root + relative;
  return root + "/" + relative;
}

std::string viewerSettingsPath(const std::string &root) { return pathOnMedium(root, "gtk/bin/viewer.ini"); }

std::string configuredProgramPath(const std::string &root, const std::string &program) {
  std::string relative = program;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return pathOnMedium(root, relative);
}

std::string installerDirectory(const std::string &root) { return pathOnMedium(root, "Program/FRAMEWORK/"); }

std::string defaultViewerProgram(const std::string &root) {
  return pathOnMedium(root, "Program/DICOMViewer.exe");
}

std::string defaultViewerArgument(const std::string &root) { return pathOnMedium(root, "DICOMDIR"); }
