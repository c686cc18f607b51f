// A disc made by make-disc carries our viewer: the navigator's diagnostic tile
// starts it through viewer.ini, the watch finds its window and the spinner stops.
#include "make_disc.h"
#include "viewer_side.h"

#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "platform/platform.h"
#include "ui/palette.h"
#include "ui/ui_state.h"
#include "viewer_launch/viewer_launch.h"

#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/standin_programs.h"
#include "support/viewer_images.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

using namespace testsupport;

namespace {

// The process that shows the window, as its window says (_NET_WM_PID).
pid_t processOf(platform::WindowHandle window) {
  gchar *out = nullptr;
  const std::string command = "xdotool getwindowpid " + std::to_string(window);
  if (!g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr)) return 0;
  const pid_t pid = out != nullptr ? static_cast<pid_t>(std::atoi(out)) : 0;
  g_free(out);
  return pid;
}

}  // namespace

TEST(DiscViewer, TheDiagnosticTileStartsTheViewerOfAMadeDiscAndTheSpinnerStops) {
  ScopedMedium medium;
  ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", medium.path("config"));
  medium.makeDirectory("export");
  for (int i = 1; i <= 3; ++i) {
    TestImage image;
    image.instance = i;
    ASSERT_TRUE(writeTestImage(medium.path("export/IM" + std::to_string(i)), image));
  }
  makedisc::MakeDiscOptions options;
  options.sources = {medium.path("export")};
  options.out = medium.path("disc");
  options.artwork = false;
  makedisc::MakeDiscSummary summary;
  std::string error;
  ASSERT_TRUE(makedisc::makeDisc(options, &summary, &error)) << error;
  EXPECT_EQ(readFile(medium.path("disc/gtk/bin/viewer.ini")),
            "[viewer]\nviewer=gtk\\bin\\velmora-viewer\nwindowClassName=Velmora-Brelantor DICOM\n");

  ASSERT_EQ(::chdir(medium.path("disc").c_str()), 0);
  testing::internal::CaptureStdout();
  createTmpDirectory();
  parsePalette();
  buildMainWindow();
  drainEvents();
  sendButtonEvent(gtk_widget_get_parent(findWidget(mainWindow, "ObrazDiag")));
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(waitUntil([] { return gtk_widget_get_visible(viewerSpinner); }, 10000));
  EXPECT_TRUE(waitUntil([] { return !viewerLaunching; }, 30000));
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  const platform::WindowHandle window = platform::findTopLevelWindow(samplemedium::ownViewerTitle);
  EXPECT_NE(window, 0u);
  if (const pid_t viewer = window != 0 ? processOf(window) : 0) ::kill(viewer, SIGTERM);

  viewerLaunching = false;
  EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
  g_signal_handlers_disconnect_by_func(mainWindow, reinterpret_cast<gpointer>(gtk_main_quit), nullptr);
  gtk_widget_destroy(mainWindow);
  mainWindow = nullptr;
  viewerSpinner = nullptr;
  removeTmpDirectory();
  ASSERT_EQ(::chdir(medium.root().c_str()), 0);
}
