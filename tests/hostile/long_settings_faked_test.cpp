// A viewer settings file with very long lines on a hostile medium: the launch
// starts the program it names, watches for the title it gives, and reports a
// program that cannot start in a valid text.
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "ui/ui_state.h"
#include "viewer_launch/viewer_launch.h"

#include "fakes/fake_desktop.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "ui/palette.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

class LongViewerSettings : public testing::Test {
 protected:
  void SetUp() override {
    fakedesktop::reset();
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    parsePalette();
    buildMainWindow();
    drainEvents();
  }
  void TearDown() override {
    viewerLaunching = false;
    EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
    drainEvents();
    for (GtkWidget *dialog : warnings()) gtk_widget_destroy(dialog);
    g_signal_handlers_disconnect_by_func(mainWindow, reinterpret_cast<gpointer>(gtk_main_quit), nullptr);
    gtk_widget_destroy(mainWindow);
    mainWindow = loadProgressBar = viewerSpinner = nullptr;
    removeTmpDirectory();
    fakedesktop::reset();
  }

  void press() {
    testing::internal::CaptureStdout();
    sendButtonEvent(gtk_widget_get_parent(findWidget(mainWindow, "ObrazDiag")));
    testing::internal::GetCapturedStdout();
  }

  static std::vector<GtkWidget *> warnings() { return messageDialogs(); }

  ScopedMedium medium_;
};

TEST_F(LongViewerSettings, TheLaunchUsesTheLongValuesWholeAndEnds) {
  const std::string program = "Program/" + std::string(200000, 'v') + ".exe";
  const std::string title = "Okno " + std::string(100000, '=') + "\xFF";
  medium_.writeFile("gtk/bin/viewer.ini",
                    std::string(300000, '#') + "\nviewer=" + program + "\nwindowClassName=" + title + "\n");
  fakedesktop::Access()->windowTitles.insert(title);
  press();
  EXPECT_TRUE(waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; }));
  fakedesktop::Access desktop;
  ASSERT_EQ(desktop->shellCalls.size(), 1u);
  EXPECT_EQ(desktop->shellCalls[0].file, platform::currentDirectory() + "/" + program);
  EXPECT_EQ(desktop->windowSearches.back(), title);
}

TEST_F(LongViewerSettings, AProgramThatCannotStartIsReportedInValidText) {
  const std::string program = std::string(100000, 'p') + "\xFE<&>.exe";
  medium_.writeFile("gtk/bin/viewer.ini", "viewer=" + program + "\n");
  fakedesktop::Access()->shellAccepts = false;
  press();
  ASSERT_TRUE(waitUntil([this] { return !warnings().empty(); }));
  gchar *text = nullptr;
  g_object_get(warnings().front(), "text", &text, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(g_utf8_validate(text, -1, nullptr));
  EXPECT_NE(std::string(text).find("\xEF\xBF\xBD<&>.exe"), std::string::npos);
  g_free(text);
  EXPECT_FALSE(viewerLaunching);
}

}  // namespace
