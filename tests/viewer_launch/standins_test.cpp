// The stand-ins for the runtime installer and the diagnostic viewer, run as
// the separate programs the navigator starts from the medium.
#include "platform/platform.h"
#include "viewer_launch/default_viewer_start.h"

#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/standin_programs.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

bool windowShown(const std::string &title) { return platform::findTopLevelWindow(title) != 0; }

TEST(InstallerStandInTest, QuietInstallationRegistersTheRuntimeKey) {
  ScopedMedium configuration;
  ChildProcess installer({toolPath("dotnetfx-standin"), "/Q"}, {"XDG_CONFIG_HOME=" + configuration.root()});
  ASSERT_TRUE(installer.started());
  ASSERT_TRUE(waitUntil([&] { return !installer.running(); }, 10000));
  EXPECT_TRUE(installer.exitedWith(0));
  EXPECT_TRUE(g_file_test(configuration
                              .path("velmora-brelantor/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/"
                                    ".NETFramework/v2.0.50727")
                              .c_str(),
                          G_FILE_TEST_IS_DIR));
  ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", configuration.root());
  EXPECT_EQ(isDotNet2Installed(), 0);
}

TEST(InstallerStandInTest, WithoutTheQuietSwitchItAsksBeforeRegistering) {
  ScopedMedium configuration;
  ChildProcess installer({toolPath("dotnetfx-standin")}, {"XDG_CONFIG_HOME=" + configuration.root()});
  ASSERT_TRUE(installer.started());
  ASSERT_TRUE(waitUntil([] { return windowShown("Instalator .NET Framework 2.0"); }, 10000));
  EXPECT_TRUE(installer.running());
  ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", configuration.root());
  EXPECT_EQ(isDotNet2Installed(), -1);
}

TEST(ViewerStandInTest, ShowsItsSplashThenListsTheDicomdir) {
  ScopedMedium medium;
  ASSERT_TRUE(writeSampleDicomdir(medium.path("DICOMDIR")));
  const std::string splash = uniqueTitle("DICOMViewerSplash");
  const std::string list = uniqueTitle("Przeglądarka DICOM");
  ChildProcess viewer({toolPath("dicomviewer-standin"), "--splash-title=" + splash, "--title=" + list,
                       medium.path("DICOMDIR")});
  ASSERT_TRUE(viewer.started());
  ASSERT_TRUE(waitUntil([&] { return windowShown(splash); }, 10000));
  EXPECT_FALSE(windowShown(list));
  ASSERT_TRUE(waitUntil([&] { return windowShown(list) && !windowShown(splash); }, 10000));
  EXPECT_TRUE(viewer.running());
  EXPECT_EQ(viewer.endAndReadOutput(),
            "Pacjent Kowalski^Jan (ID P001)\n"
            "  Badanie 2024-01-31 CT glowy\n"
            "    Seria 1: CT, obrazów: 2\n"
            "    Seria 2: SR, obrazów: 1\n");
}

TEST(ViewerStandInTest, MissingOrBrokenDicomdirIsReportedInItsWindow) {
  ScopedMedium medium;
  medium.writeFile("DICOMDIR", "not a DICOM file at all");
  medium.makeDirectory("folder/DICOMDIR");
  for (const std::string &name :
       {std::string("DICOMDIR"), std::string("missing/DICOMDIR"), std::string("folder/DICOMDIR")}) {
    SCOPED_TRACE(name);
    const std::string list = uniqueTitle("Przeglądarka DICOM");
    ChildProcess viewer({toolPath("dicomviewer-standin"), "--title=" + list, medium.path(name)});
    ASSERT_TRUE(viewer.started());
    ASSERT_TRUE(waitUntil([&] { return windowShown(list); }, 10000));
    EXPECT_TRUE(viewer.running());
    EXPECT_EQ(viewer.endAndReadOutput(), "Nie można odczytać pliku DICOMDIR: " + medium.path(name) + "\n");
  }
  // Read only: the broken file is left as it was.
  EXPECT_EQ(readFile(medium.path("DICOMDIR")), "not a DICOM file at all");
  EXPECT_FALSE(g_file_test(medium.path("missing").c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
