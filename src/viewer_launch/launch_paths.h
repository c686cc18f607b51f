// Paths of the viewer launch, all below the medium root (the current directory).
#pragma once

#include <string>

// `relative` below `root`, joined with one "/" (none added when `root` ends in
// one); `relative` itself when `root` is empty.
std::string pathOnMedium(const std::string &root, const std::string &relative);

// The settings file: gtk/bin/viewer.ini.
std::string viewerSettingsPath(const std::string &root);

// A configured program ("viewer" in the settings) given relative to the medium
// root. Settings written for Windows separate folders with "\"; they count as "/".
std::string configuredProgramPath(const std::string &root, const std::string &program);

// The runtime installer's folder, Program/FRAMEWORK/ with its final "/".
std::string installerDirectory(const std::string &root);
// The default viewer, Program/DICOMViewer.exe.
std::string defaultViewerProgram(const std::string &root);
// The default viewer's one argument: the full path of DICOMDIR.
std::string defaultViewerArgument(const std::string &root);
