// Viewer launches through the real desktop services: the shell starts the
// stand-ins from the medium, the window search finds their splash window, and
// the runtime questions are real dialogs on the main loop.
#include "viewer_launch/viewer_launch.h"
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "platform/platform.h"
#include "ui/ui_state.h"
#include "viewer_launch/default_viewer_start.h"

#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/standin_programs.h"
#include "ui/palette.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

namespace {

using namespace testsupport;

bool windowShown(const std::string &title) { return platform::findTopLevelWindow(title) != 0; }

GtkWidget *questionTitled(const std::string &title) {
  GtkWidget *found = nullptr;
  for (GtkWidget *window : messageDialogsTitled(title))
    if (gtk_widget_get_visible(window)) found = window;
  return found;
}

// Waits for the question and answers it as the user would.
bool answer(const std::string &title, gint response) {
  if (!waitUntil([&] { return questionTitled(title) != nullptr; }, 10000)) return false;
  gtk_dialog_response(GTK_DIALOG(questionTitled(title)), response);
  drainEvents();
  return true;
}

// A medium in a folder whose name has a blank and a Polish letter, its
// registry emulation, and the main window.
class RealLaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    medium_.makeDirectory("płyta CD");
    root_ = medium_.path("płyta CD");
    ASSERT_EQ(::chdir(root_.c_str()), 0);
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    parsePalette();
    buildMainWindow();
    tile_ = gtk_widget_get_parent(findWidget(mainWindow, "ObrazDiag"));
    drainEvents();
  }
  void TearDown() override {
    viewerLaunching = false;
    EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
    // The viewers the shell started, by the ids their start script wrote down.
    std::istringstream pids(readFile(medium_.path("viewer.pids")));
    for (int pid; pids >> pid;) ::kill(pid, SIGTERM);
    g_signal_handlers_disconnect_by_func(mainWindow, reinterpret_cast<gpointer>(gtk_main_quit), nullptr);
    gtk_widget_destroy(mainWindow);
    mainWindow = nullptr;
    viewerSpinner = nullptr;
    removeTmpDirectory();
  }
  std::string path(const std::string &relative) const { return root_ + "/" + relative; }
  // A start script that notes its process id and arguments, then becomes the viewer stand-in.
  void writeViewer(const std::string &relative, const std::string &options) {
    medium_.writeFile("płyta CD/" + relative,
                      "#!/bin/sh\necho $$ >> '" + medium_.path("viewer.pids") +
                          "'\nprintf '%s\\n' \"$@\" > '" + medium_.path("viewer.args") + "'\nexec '" +
                          toolPath("dicomviewer-standin") + "' " + options + " \"$@\"\n");
    g_chmod(path(relative).c_str(), 0755);
  }
  std::string press() {
    testing::internal::CaptureStdout();
    sendButtonEvent(tile_);
    return testing::internal::GetCapturedStdout();
  }

  ScopedMedium medium_;
  ScopedEnvironmentVariable configHome_{"XDG_CONFIG_HOME", medium_.path("config")};
  std::string root_;
  GtkWidget *tile_ = nullptr;
};

TEST_F(RealLaunchTest, ConfiguredProgramLaunchEndsAtItsSplashAndTheTileAcceptsPressesAgain) {
  const std::string splash = uniqueTitle("Splash");
  medium_.writeFile("płyta CD/gtk/bin/viewer.ini",
                    "viewer=Program\\start viewer.sh\r\nwindowClassName=" + splash + "\r\n");
  writeViewer("Program/start viewer.sh",
              "'--splash-title=" + splash + "' '--title=" + uniqueTitle("Lista") + "'");

  for (int launch = 1; launch <= 2; ++launch) {
    SCOPED_TRACE(launch);
    EXPECT_NE(press().find("Parametry uruchamiania przegladarki diagnostycznej:"), std::string::npos);
    EXPECT_TRUE(viewerLaunching);
    ASSERT_TRUE(waitUntil([] { return gtk_widget_get_visible(viewerSpinner); }, 10000));
    ASSERT_TRUE(waitUntil([] { return !viewerLaunching; }, 15000));
    EXPECT_TRUE(windowShown(splash));
    EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
    EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
    // The next launch must not find this one's splash.
    ASSERT_TRUE(waitUntil([&] { return !windowShown(splash); }, 10000));
  }
  std::istringstream pids(readFile(medium_.path("viewer.pids")));
  int first = 0, second = 0;
  EXPECT_TRUE(pids >> first >> second);
}

// A program that ends without ever showing the watched window: the watch
// gives up when it has gone, and the tile starts it again.
TEST_F(RealLaunchTest, AProgramThatEndsWithoutItsWindowEndsTheLaunchAndCanBeStartedAgain) {
  medium_.writeFile("płyta CD/gtk/bin/viewer.ini",
                    "viewer=Program/ends.sh\nwindowClassName=" + uniqueTitle("Never") + "\n");
  medium_.writeFile("płyta CD/Program/ends.sh",
                    "#!/bin/sh\necho $$ >> '" + medium_.path("ended.pids") + "'\n");
  g_chmod(path("Program/ends.sh").c_str(), 0755);

  for (int launch = 1; launch <= 2; ++launch) {
    SCOPED_TRACE(launch);
    press();
    EXPECT_TRUE(viewerLaunching);
    ASSERT_TRUE(waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; }, 10000));
    EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  }
  std::istringstream pids(readFile(medium_.path("ended.pids")));
  int first = 0, second = 0;
  EXPECT_TRUE(pids >> first >> second);
}

TEST_F(RealLaunchTest, DefaultViewerStartsWithDicomdirAfterTheRuntimeIsInstalledQuietly) {
  ASSERT_TRUE(writeSampleDicomdir(path("DICOMDIR")));
  medium_.writeFile("płyta CD/Program/FRAMEWORK/dotnetfx.exe", readFile(toolPath("dotnetfx-standin")));
  g_chmod(path("Program/FRAMEWORK/dotnetfx.exe").c_str(), 0755);
  writeViewer("Program/DICOMViewer.exe", "'--title=" + uniqueTitle("Lista") + "'");
  ASSERT_EQ(isDotNet2Installed(), -1);

  press();
  ASSERT_TRUE(answer("DICOM Pravix - Brak FRAMEWORK .NET 2.0", GTK_RESPONSE_YES));
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  ASSERT_TRUE(answer("DICOM Pravix - Instalacja standardowa .NET 2.0", GTK_RESPONSE_YES));
  ASSERT_TRUE(waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; }, 15000));

  EXPECT_EQ(isDotNet2Installed(), 0);
  // Another test's stand-in on the shared display may have shown its splash first.
  EXPECT_TRUE(waitUntil([this] { return !readFile(medium_.path("viewer.args")).empty(); }, 10000));
  EXPECT_EQ(readFile(medium_.path("viewer.args")), path("DICOMDIR") + "\n");
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
}

TEST_F(RealLaunchTest, MissingViewerIsReportedAndTheLaunchEnds) {
  ASSERT_EQ(g_mkdir_with_parents(
                (medium_.path("config") + "/velmora-brelantor/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/"
                                          ".NETFramework/v2.0.50727")
                    .c_str(),
                0700),
            0);
  press();
  const std::string text = "Nie można uruchomić programu \"" + path("Program/DICOMViewer.exe") +
                           "\".\nSprawdź, czy płyta CD znajduje się w napędzie i spróbuj ponownie.";
  GtkWidget *warning = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (warning = questionTitled("Obrazy diagnostyczne")) != nullptr; }));
  gchar *shown = nullptr;
  g_object_get(warning, "text", &shown, nullptr);
  EXPECT_EQ(std::string(shown ? shown : ""), text);
  g_free(shown);
  EXPECT_FALSE(viewerLaunching);
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
  gtk_dialog_response(GTK_DIALOG(warning), GTK_RESPONSE_OK);
  drainEvents();
  EXPECT_EQ(questionTitled("Obrazy diagnostyczne"), nullptr);
}

}  // namespace

namespace {

// A path in the settings or a link on the disc that leads off the medium: the program there never runs. The
// viewer gets the start warning; the installer counts as missing, so the runtime question comes again.
TEST_F(RealLaunchTest, ProgramsOffTheMediumAreNeverStarted) {
  medium_.writeFile("outside.sh", "#!/bin/sh\ntouch '" + medium_.path("ran") + "'\n");
  g_chmod(medium_.path("outside.sh").c_str(), 0755);
  medium_.makeDirectory("płyta CD/Program/FRAMEWORK");
  ASSERT_EQ(::symlink(medium_.path("outside.sh").c_str(), path("Program/FRAMEWORK/dotnetfx.exe").c_str()) |
                ::symlink("../../outside.sh", path("Program/DICOMViewer.exe").c_str()),
            0);
  press();
  ASSERT_TRUE(answer("DICOM Pravix - Brak FRAMEWORK .NET 2.0", GTK_RESPONSE_YES));
  ASSERT_TRUE(answer("DICOM Pravix - Instalacja standardowa .NET 2.0", GTK_RESPONSE_YES));
  ASSERT_TRUE(answer("DICOM Pravix - Brak FRAMEWORK .NET 2.0", GTK_RESPONSE_NO));
  ASSERT_TRUE(waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; }));
  g_mkdir_with_parents((medium_.path("config") + "/velmora-brelantor/registry/HKEY_LOCAL_MACHINE/SOFTWARE/"
                                                 "Microsoft/.NETFramework/v2.0.50727")
                           .c_str(),
                       0700);
  for (std::string program : {"Program/DICOMViewer.exe", "../outside.sh"}) {
    medium_.writeFile("płyta CD/gtk/bin/viewer.ini", program[0] == '.' ? "viewer=..\\outside.sh\n" : "");
    press();
    GtkWidget *warning = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (warning = questionTitled("Obrazy diagnostyczne")) != nullptr; }));
    gchar *shown = nullptr;
    g_object_get(warning, "text", &shown, nullptr);
    EXPECT_NE(std::string(shown).find("programu \"" + path(program) + "\""), std::string::npos) << shown;
    g_free(shown);
    gtk_dialog_response(GTK_DIALOG(warning), GTK_RESPONSE_OK);
    ASSERT_TRUE(waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; }));
  }
  EXPECT_FALSE(g_file_test(medium_.path("ran").c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
