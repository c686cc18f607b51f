// The diagnostic tile's launch sequence against the recording fake of the
// desktop: what is started with which arguments, which questions are asked,
// and what the spinner and the tile do meanwhile.
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "ui/ui_state.h"
#include "viewer_launch/default_viewer_start.h"
#include "viewer_launch/launch_feedback.h"
#include "viewer_launch/viewer_launch.h"

#include "fakes/fake_desktop.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "ui/palette.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

using namespace testsupport;
using fakedesktop::Access;
using platform::Answer;

const char *const kRuntimeKey = "HKLM\\SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727";
const platform::WindowHandle kForeground = 0x5005;

// Questions as (title, text).
using Question = std::pair<std::string, std::string>;
const Question kRuntimeMissing{"DICOM Pravix - Brak FRAMEWORK .NET 2.0",
                               ".NET 2.0 nie jest zainstalowany. Czy uruchomić instalator?"};
const Question kStandardInstall{"DICOM Pravix - Instalacja standardowa .NET 2.0",
                                "Czy wykonać standardową instalację pakietu .NET 2.0?"};

std::vector<std::string> splitLikeTheShell(const std::string &parameters) {
  gchar **argv = nullptr;
  std::vector<std::string> words;
  if (!g_shell_parse_argv(parameters.c_str(), nullptr, &argv, nullptr)) return words;
  for (gchar **word = argv; *word != nullptr; ++word) words.push_back(*word);
  g_strfreev(argv);
  return words;
}

// What the user sees of the launch at some moment, read on a worker thread.
struct Snapshot {
  bool launching = false;
  bool spinnerVisible = false;
  bool spinnerActive = false;
};

Snapshot snapshot() {
  gdk_threads_enter();
  Snapshot seen;
  seen.launching = viewerLaunching;
  seen.spinnerVisible = gtk_widget_get_visible(viewerSpinner);
  g_object_get(viewerSpinner, "active", &seen.spinnerActive, nullptr);
  gdk_threads_leave();
  return seen;
}

std::string dialogText(GtkWidget *dialog) {
  gchar *text = nullptr;
  g_object_get(dialog, "text", &text, nullptr);
  std::string copy = text ? text : "";
  g_free(text);
  return copy;
}

class ViewerLaunchTest : public testing::Test {
 protected:
  void SetUp() override {
    fakedesktop::reset();
    Access()->foreground = kForeground;
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    parsePalette();
    buildMainWindow();
    tile_ = gtk_widget_get_parent(findWidget(mainWindow, "ObrazDiag"));
    g_signal_connect_swapped(viewerSpinner, "show", G_CALLBACK(countShow), &spinnerShown_);
    g_signal_connect_swapped(mainWindow, "show", G_CALLBACK(countShow), &windowShown_);
    g_signal_connect_swapped(mainWindow, "hide", G_CALLBACK(countShow), &windowHidden_);
    drainEvents();
  }
  void TearDown() override {
    // Ends any watch still polling, then lets every launch thread finish.
    viewerLaunching = false;
    EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
    drainEvents();
    for (GtkWidget *dialog : messageDialogs()) gtk_widget_destroy(dialog);
    if (mainWindow != nullptr) {
      g_signal_handlers_disconnect_by_func(mainWindow, reinterpret_cast<gpointer>(gtk_main_quit), nullptr);
      gtk_widget_destroy(mainWindow);
    }
    mainWindow = nullptr;
    viewerSpinner = nullptr;
    viewerLaunching = false;
    referenceBrowserBusy = false;
    removeTmpDirectory();
    fakedesktop::reset();
  }

  static void countShow(int *counter) { ++*counter; }

  // Presses the tile and returns what the press traced.
  std::string press() {
    testing::internal::CaptureStdout();
    sendButtonEvent(tile_);
    return testing::internal::GetCapturedStdout();
  }
  bool launchEnds() {
    return waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; });
  }
  // The viewer opens its splash window as soon as the shell starts it.
  void splashShownOnStart(const std::string &title) {
    Access()->onShell = [this, title](const fakedesktop::ShellCall &call) {
      if (call.withRecord) return;
      atViewerStart_ = snapshot();
      Access()->windowTitles.insert(title);
    };
  }
  std::vector<fakedesktop::ShellCall> shellCalls() { return Access()->shellCalls; }
  std::vector<Question> questions() {
    std::vector<Question> asked;
    for (const fakedesktop::Question &question : Access()->questions)
      asked.emplace_back(question.title, question.text);
    return asked;
  }

  ScopedMedium medium_;
  GtkWidget *tile_ = nullptr;
  int spinnerShown_ = 0;
  int windowShown_ = 0;
  int windowHidden_ = 0;
  Snapshot atViewerStart_;
};

TEST_F(ViewerLaunchTest, RuntimePresentStartsTheViewerWithDicomdirAndHidesTheSpinnerAtItsOwnSplash) {
  // The default viewer's splash title is fixed; the configured one does not count.
  medium_.writeFile("gtk/bin/viewer.ini", "windowClassName=Splash\n");
  Access()->registryKeys.insert(kRuntimeKey);
  splashShownOnStart("DICOMViewerSplash");

  std::string traced = press();
  EXPECT_NE(traced.find("Parametry uruchamiania przegladarki diagnostycznej:\nDICOMViewer.exe\nSplash\n"),
            std::string::npos)
      << traced;
  EXPECT_EQ(windowHidden_, 1);
  EXPECT_EQ(windowShown_, 1);
  EXPECT_TRUE(gtk_widget_get_visible(mainWindow));
  ASSERT_TRUE(launchEnds());

  EXPECT_TRUE(questions().empty());
  std::vector<fakedesktop::ShellCall> calls = shellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].withRecord);
  EXPECT_EQ(calls[0].owner, kForeground);
  EXPECT_EQ(calls[0].file, medium_.path("Program/DICOMViewer.exe"));
  EXPECT_EQ(splitLikeTheShell(calls[0].parameters), std::vector<std::string>{medium_.path("DICOMDIR")});
  EXPECT_EQ(calls[0].workingDirectory, "");

  EXPECT_TRUE(atViewerStart_.launching);
  EXPECT_TRUE(atViewerStart_.spinnerVisible);
  EXPECT_TRUE(atViewerStart_.spinnerActive);
  drainEvents();
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  gboolean active = TRUE;
  g_object_get(viewerSpinner, "active", &active, nullptr);
  EXPECT_FALSE(active);
  std::vector<std::string> searches = Access()->windowSearches;
  ASSERT_FALSE(searches.empty());
  for (const std::string &title : searches) EXPECT_EQ(title, "DICOMViewerSplash");
}

TEST_F(ViewerLaunchTest, ClosingTheMainWindowWhileTheWatchPollsEndsItWithoutTouchingTheSpinner) {
  // The viewer starts but never shows its splash window: the watch polls on.
  Access()->registryKeys.insert(kRuntimeKey);
  press();
  ASSERT_TRUE(waitUntil([] { return snapshot().spinnerActive; }));
  gdk_threads_add_idle(
      [](gpointer) -> gboolean {
        sendDeleteEvent(mainWindow);
        return G_SOURCE_REMOVE;
      },
      nullptr);
  // As in the program: closing the main window ends the main loop.
  gtk_main();
  EXPECT_EQ(mainWindow, nullptr);
  EXPECT_EQ(viewerSpinner, nullptr);
  EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
}

TEST_F(ViewerLaunchTest, RefusedInstallerStartsNothingAndTheNextPressAsksAgain) {
  Access()->answers = {Answer::No};
  press();
  ASSERT_TRUE(launchEnds());
  EXPECT_EQ(questions(), std::vector<Question>{kRuntimeMissing});
  EXPECT_TRUE(shellCalls().empty());
  EXPECT_TRUE(Access()->waitedFor.empty());
  EXPECT_EQ(spinnerShown_, 0);

  Access()->answers = {Answer::No};
  press();
  ASSERT_TRUE(launchEnds());
  EXPECT_EQ(questions().size(), 2u);
  EXPECT_EQ(spinnerShown_, 0);
}

TEST_F(ViewerLaunchTest, InstallerRunsQuietlyOrWithItsDialogsInItsFolderAndIsWaitedFor) {
  struct InstallCase {
    Answer standard;
    const char *parameters;
  };
  for (InstallCase test : {InstallCase{Answer::Yes, "/Q"}, InstallCase{Answer::No, ""}}) {
    SCOPED_TRACE(test.parameters);
    fakedesktop::reset();
    std::atomic<bool> spinnerDuringInstall{true};
    std::atomic<bool> launchingDuringInstall{false};
    {
      Access access;
      access->foreground = kForeground;
      access->answers = {Answer::Yes, test.standard};
      access->onWait = [&] {
        Snapshot seen = snapshot();
        spinnerDuringInstall = seen.spinnerVisible;
        launchingDuringInstall = seen.launching;
        Access()->registryKeys.insert(kRuntimeKey);
      };
    }
    splashShownOnStart("DICOMViewerSplash");
    press();
    ASSERT_TRUE(launchEnds());

    EXPECT_EQ(questions(), (std::vector<Question>{kRuntimeMissing, kStandardInstall}));
    std::vector<fakedesktop::ShellCall> calls = shellCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].withRecord);
    EXPECT_EQ(calls[0].file, "dotnetfx.exe");
    EXPECT_EQ(calls[0].parameters, test.parameters);
    EXPECT_EQ(calls[0].workingDirectory, medium_.path("Program/FRAMEWORK/"));
    EXPECT_EQ(Access()->waitedFor, std::vector<platform::ProcessHandle>{4242});
    EXPECT_FALSE(calls[1].withRecord);
    EXPECT_EQ(calls[1].file, medium_.path("Program/DICOMViewer.exe"));

    EXPECT_TRUE(launchingDuringInstall);
    EXPECT_FALSE(spinnerDuringInstall);
    EXPECT_TRUE(atViewerStart_.spinnerVisible);
    EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  }
}

TEST_F(ViewerLaunchTest, InstallerThatLeavesTheRuntimeMissingLeadsToTheFirstQuestionAgain) {
  Access()->answers = {Answer::Yes, Answer::Yes, Answer::No};
  press();
  ASSERT_TRUE(launchEnds());
  EXPECT_EQ(questions(), (std::vector<Question>{kRuntimeMissing, kStandardInstall, kRuntimeMissing}));
  ASSERT_EQ(shellCalls().size(), 1u);
  EXPECT_TRUE(shellCalls()[0].withRecord);
  EXPECT_EQ(spinnerShown_, 0);
}

TEST_F(ViewerLaunchTest, ProgramThatCannotStartEndsTheLaunchWithAWarning) {
  struct FailureCase {
    const char *settings;
    const char *program;
  };
  for (FailureCase test : {FailureCase{"", "Program/DICOMViewer.exe"},
                           FailureCase{"viewer=Program\\Other.exe\n", "Program/Other.exe"}}) {
    SCOPED_TRACE(test.program);
    medium_.writeFile("gtk/bin/viewer.ini", test.settings);
    fakedesktop::reset();
    {
      Access access;
      access->registryKeys.insert(kRuntimeKey);
      access->shellAccepts = false;
    }
    press();
    ASSERT_TRUE(waitUntil([] { return messageDialogs().size() == 1; }));
    GtkWidget *dialog = messageDialogs()[0];
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Obrazy diagnostyczne");
    EXPECT_EQ(dialogText(dialog),
              "Nie można uruchomić programu \"" + medium_.path(test.program) +
                  "\".\nSprawdź, czy płyta CD znajduje się w napędzie i spróbuj ponownie.");
    GtkMessageType type;
    g_object_get(dialog, "message-type", &type, nullptr);
    EXPECT_EQ(type, GTK_MESSAGE_WARNING);
    EXPECT_TRUE(gtk_widget_get_visible(dialog));
    EXPECT_FALSE(viewerLaunching);
    EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
    // The watch gives up as well.
    EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));

    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    drainEvents();
    EXPECT_TRUE(messageDialogs().empty());
  }
}

TEST_F(ViewerLaunchTest, ConfiguredProgramStartsDirectlyAndItsTitleIsWatched) {
  medium_.writeFile("gtk/bin/viewer.ini", "[viewer]\nviewer=dicomviewer.exe\nwindowClassName=Other Splash\n");
  splashShownOnStart("Other Splash");
  std::string traced = press();
  EXPECT_NE(
      traced.find("Parametry uruchamiania przegladarki diagnostycznej:\ndicomviewer.exe\nOther Splash\n"),
      std::string::npos)
      << traced;
  EXPECT_EQ(windowHidden_, 1);
  EXPECT_EQ(windowShown_, 1);
  ASSERT_TRUE(launchEnds());

  EXPECT_TRUE(questions().empty());
  std::vector<fakedesktop::ShellCall> calls = shellCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_FALSE(calls[0].withRecord);
  EXPECT_EQ(calls[0].owner, kForeground);
  EXPECT_EQ(calls[0].file, medium_.path("dicomviewer.exe"));
  EXPECT_EQ(calls[0].parameters, "");
  EXPECT_EQ(calls[0].workingDirectory, "");
  EXPECT_TRUE(atViewerStart_.launching);
  EXPECT_TRUE(atViewerStart_.spinnerVisible);
  EXPECT_TRUE(atViewerStart_.spinnerActive);
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  std::vector<std::string> searches = Access()->windowSearches;
  ASSERT_FALSE(searches.empty());
  for (const std::string &title : searches) EXPECT_EQ(title, "Other Splash");
}

TEST_F(ViewerLaunchTest, PressesDuringALaunchOrABrowserBuildAreIgnored) {
  Access()->registryKeys.insert(kRuntimeKey);
  // No splash window ever appears: the launch stays in progress.
  EXPECT_FALSE(press().empty());
  ASSERT_TRUE(waitUntil([this] { return shellCalls().size() == 1; }));
  EXPECT_TRUE(viewerLaunching);
  EXPECT_TRUE(gtk_widget_get_visible(viewerSpinner));
  EXPECT_EQ(press(), "");
  sendButtonEvent(tile_, GDK_2BUTTON_PRESS);
  EXPECT_EQ(windowHidden_, 1);

  viewerLaunching = false;
  ASSERT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
  referenceBrowserBusy = true;
  EXPECT_EQ(press(), "");
  EXPECT_FALSE(viewerLaunching);
  EXPECT_EQ(launchThreadsRunning(), 0);
  EXPECT_EQ(shellCalls().size(), 1u);
}

}  // namespace
