// The viewer settings file and the launch's paths on the medium.
#include "viewer_launch/viewer_settings.h"
#include "viewer_launch/launch_paths.h"

#include "support/scoped_medium.h"

#include <gtest/gtest.h>

namespace {

struct SettingsCase {
  const char *name;
  std::string content;
  std::string exe;
  std::string windowClassName;
};

TEST(ViewerSettingsTest, LinesAreSplitAtTheFirstEqualsSignAndTheLastOccurrenceWins) {
  const std::string longValue(100000, 'x');
  const SettingsCase cases[] = {
      {"empty file", "", "DICOMViewer.exe", "DICOMViewerSplash"},
      {"both keys", "viewer=Other.exe\nwindowClassName=Splash\n", "Other.exe", "Splash"},
      {"section header and unknown keys", "[Viewer]\nname=x\nviewer=a.exe\n", "a.exe", "DICOMViewerSplash"},
      {"lines without equals sign", "viewer\nwindowClassName\n", "DICOMViewer.exe", "DICOMViewerSplash"},
      {"blank before the equals sign", "viewer =a.exe\n", "DICOMViewer.exe", "DICOMViewerSplash"},
      {"blank before the key", " viewer=a.exe\n", "DICOMViewer.exe", "DICOMViewerSplash"},
      {"keys are case-sensitive", "Viewer=a.exe\nWINDOWCLASSNAME=t\n", "DICOMViewer.exe",
       "DICOMViewerSplash"},
      {"blanks in the value stay", "viewer= a b.exe \n", " a b.exe ", "DICOMViewerSplash"},
      {"further equals signs stay", "windowClassName=a=b\n", "DICOMViewer.exe", "a=b"},
      {"last occurrence wins", "viewer=a.exe\nviewer=b.exe\nviewer=c.exe", "c.exe", "DICOMViewerSplash"},
      {"empty value", "viewer=\n", "", "DICOMViewerSplash"},
      {"last line without line break", "windowClassName=Splash", "DICOMViewer.exe", "Splash"},
      {"Windows line breaks", "viewer=a.exe\r\nwindowClassName=S\r\n", "a.exe", "S"},
      {"CR inside a line stays", "windowClassName=a\rb\n", "DICOMViewer.exe", "a\rb"},
      {"CR at the very end without LF stays", "windowClassName=S\r", "DICOMViewer.exe", "S\r"},
      {"empty lines", "\n\n\r\nviewer=a.exe\n\n", "a.exe", "DICOMViewerSplash"},
      {"NUL byte in a value", std::string("viewer=a\0b\n", 11), std::string("a\0b", 3), "DICOMViewerSplash"},
      {"very long line", "windowClassName=" + longValue + "\n", "DICOMViewer.exe", longValue},
      {"default viewer named again", "viewer=x\nviewer=DICOMViewer.exe\n", "DICOMViewer.exe",
       "DICOMViewerSplash"},
  };
  for (const SettingsCase &test : cases) {
    SCOPED_TRACE(test.name);
    ViewerParameters parameters = parseViewerSettings(test.content);
    EXPECT_EQ(parameters.size(), 2u);
    EXPECT_EQ(parameters["exe"], test.exe);
    EXPECT_EQ(parameters["windowClassName"], test.windowClassName);
  }
}

TEST(ViewerSettingsTest, FileThatCannotBeReadGivesTheDefaults) {
  testsupport::ScopedMedium medium;
  const ViewerParameters defaults{{"exe", "DICOMViewer.exe"}, {"windowClassName", "DICOMViewerSplash"}};
  EXPECT_EQ(readViewerSettings(medium.path("gtk/bin/viewer.ini")), defaults);
  medium.makeDirectory("gtk/bin/viewer.ini");
  EXPECT_EQ(readViewerSettings(medium.path("gtk/bin/viewer.ini")), defaults);

  medium.writeFile("gtk/bin/other.ini", "viewer=a.exe\r\nwindowClassName=Splash\r\n");
  EXPECT_EQ(readViewerSettings(medium.path("gtk/bin/other.ini")),
            (ViewerParameters{{"exe", "a.exe"}, {"windowClassName", "Splash"}}));
}

TEST(LaunchPathsTest, EveryPathLiesBelowTheMediumRoot) {
  struct PathCase {
    std::string root;
    std::string settings, installerDirectory, viewer, argument;
  };
  const PathCase cases[] = {
      {"/", "/gtk/bin/viewer.ini", "/Program/FRAMEWORK/", "/Program/DICOMViewer.exe", "/DICOMDIR"},
      {"/media/cd", "/media/cd/gtk/bin/viewer.ini", "/media/cd/Program/FRAMEWORK/",
       "/media/cd/Program/DICOMViewer.exe", "/media/cd/DICOMDIR"},
      {"/media/my disc/", "/media/my disc/gtk/bin/viewer.ini", "/media/my disc/Program/FRAMEWORK/",
       "/media/my disc/Program/DICOMViewer.exe", "/media/my disc/DICOMDIR"},
      {"", "gtk/bin/viewer.ini", "Program/FRAMEWORK/", "Program/DICOMViewer.exe", "DICOMDIR"},
  };
  for (const PathCase &test : cases) {
    SCOPED_TRACE(test.root);
    EXPECT_EQ(viewerSettingsPath(test.root), test.settings);
    EXPECT_EQ(installerDirectory(test.root), test.installerDirectory);
    EXPECT_EQ(defaultViewerProgram(test.root), test.viewer);
    EXPECT_EQ(defaultViewerArgument(test.root), test.argument);
  }
}

TEST(LaunchPathsTest, ConfiguredProgramIsRelativeToTheRootWithEitherSeparator) {
  EXPECT_EQ(configuredProgramPath("/cd", "dicomviewer.exe"), "/cd/dicomviewer.exe");
  EXPECT_EQ(configuredProgramPath("/cd/", "Program\\Other\\viewer.exe"), "/cd/Program/Other/viewer.exe");
  EXPECT_EQ(configuredProgramPath("/cd", "tools/my viewer"), "/cd/tools/my viewer");
}

}  // namespace
