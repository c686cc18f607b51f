// A whole session on a generated sample disc: the tiles, the chooser and its
// reports, the browser with stepping, zoom and cine, and a viewer launch.
// On a disc that could be written, not one file of it is created, changed or
// removed; on one made read-only as a burnt disc is, the session works all
// the same; and on a burnt image mounted read-only, when the image test hands
// one over. The working directory is gone at the end.
#include "sample_medium.h"

#include "app/main_window.h"
#include "base/medium_root.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/cine_playback.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "descriptions/description_chooser.h"
#include "descriptions/description_list.h"
#include "descriptions/description_opening.h"
#include "tree/branch_tree.h"
#include "ui/palette.h"
#include "ui/ui_state.h"
#include "viewer_launch/default_viewer_start.h"
#include "viewer_launch/viewer_launch.h"

#include "fakes/fake_desktop.h"
#include "support/file_permissions.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "support/tree_snapshot.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <unistd.h>

#include <cstdlib>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

GtkWidget *tileNamed(const char *imageName) {
  GtkWidget *image = findWidget(mainWindow, imageName);
  return image != nullptr ? gtk_widget_get_parent(image) : nullptr;
}

// Presses a widget with the trace the press writes held back.
void press(GtkWidget *widget) {
  testing::internal::CaptureStdout();
  sendButtonEvent(widget);
  testing::internal::GetCapturedStdout();
}

std::vector<GtkWidget *> chooserRows() {
  std::vector<GtkWidget *> rows;
  GtkWidget *viewport = gtk_bin_get_child(GTK_BIN(findWidget(descriptionChooserWindow, "scrolled_window")));
  GtkWidget *columns = childrenOf(gtk_bin_get_child(GTK_BIN(viewport))).at(0);
  for (GtkWidget *column : childrenOf(columns))
    rows.push_back(gtk_bin_get_child(GTK_BIN(childrenOf(column).at(0))));
  return rows;
}

enum class Disc { Writable, ReadOnly, Mounted };

class WholeSession : public testing::TestWithParam<Disc> {
 protected:
  void SetUp() override {
    fakedesktop::reset();
    if (GetParam() == Disc::Mounted) {
      // The mounted image of the sample disc (its pictures are its DICOM files).
      const char *mounted = std::getenv("VELMORA_MOUNTED_MEDIUM");
      if (mounted == nullptr) GTEST_SKIP() << "no mounted image given (VELMORA_MOUNTED_MEDIUM)";
      root_ = mounted;
      images_ = 0;
      for (fs::recursive_directory_iterator it(root_ + "/DICOM"), end; it != end; ++it)
        images_ += fs::is_regular_file(it->status()) ? 1 : 0;
      ASSERT_EQ(::chdir(root_.c_str()), 0);
      currentPath = root_ + "/";
      return;
    }
    samplemedium::SampleMediumOptions options;
    options.seriesPerStudy = 2;
    options.imagesPerSeries = 3;
    options.pictureSize = 64;
    options.navigatorProgram = "";
    options.toolDirectory = scratch_.path("tools");
    scratch_.writeFile("tools/dicomviewer-standin", "#!/bin/sh\n");
    scratch_.writeFile("tools/dotnetfx-standin", "#!/bin/sh\n");
    samplemedium::SampleMediumSummary summary;
    std::string error;
    root_ = scratch_.path("disc");
    ASSERT_TRUE(samplemedium::generateSampleMedium(root_, options, &summary, &error)) << error;
    images_ = summary.images;
    // Read-only as on a burnt disc, folders included; or writable throughout,
    // so that a write would succeed and show.
    if (GetParam() == Disc::ReadOnly)
      setModeRecursively(root_, 0444, 0555);
    else
      setModeRecursively(root_, 0644, 0755);
    ASSERT_EQ(::chdir(root_.c_str()), 0);
    currentPath = root_ + "/";
  }

  void TearDown() override {
    viewerLaunching = false;
    EXPECT_TRUE(waitUntil([] { return launchThreadsRunning() == 0; }));
    if (browser.cinePlaying && browser.browserWindow != nullptr) stopCinePlayback();
    for (GtkWidget *window :
         {browser.browserWindow, descriptionChooserWindow, pdfReaderPromptWindow, mainWindow})
      if (window != nullptr) gtk_widget_destroy(window);
    for (GtkWidget *dialog : messageDialogs()) gtk_widget_destroy(dialog);
    resetBrowserState();
    mainWindow = loadProgressBar = viewerSpinner = nullptr;
    referenceBrowserBusy = false;
    DicomFileIndex.clear();
    StudyMetadataIndex.clear();
    descriptionList.clear();
    currentPath.clear();
    drainEvents();
    removeTmpDirectory();
    fakedesktop::reset();
    if (::chdir(scratch_.root().c_str()) != 0) ADD_FAILURE() << "cannot leave the disc";
    if (GetParam() != Disc::Mounted) setModeRecursively(root_, 0644, 0755);
  }

  ScopedMedium scratch_;  // holds the disc and the stand-ins it copies
  std::string root_;
  int images_ = 0;
};

TEST_P(WholeSession, NothingOnTheDiscIsCreatedOrChangedAndNothingIsLeftBehind) {
  const TreeSnapshot before = snapshotTree(root_);
  ASSERT_GT(before.size(), 20u);
  std::string workingDirectory;
  {
    // The modes hold even for a superuser running the test.
    ScopedPermissionChecks permissions;
    {
      fakedesktop::Access desktop;
      desktop->registryKeys.insert(
          fakedesktop::registryName(platform::RegistryRoot::LocalMachine, kDotNet2Key));
      desktop->onShell = [](const fakedesktop::ShellCall &call) {
        if (call.file.find("DICOMViewer.exe") != std::string::npos)
          fakedesktop::Access()->windowTitles.insert("DICOMViewerSplash");
      };
    }
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(tmpDirectoryUsable());
    workingDirectory = tmpDirectory;
    parsePalette();
    buildMainWindow();
    drainEvents();

    // The tiles answer the pointer.
    for (const char *name : {"ObrazOpis", "ObrazRef", "ObrazDiag"}) {
      GtkWidget *tile = tileNamed(name);
      ASSERT_NE(tile, nullptr) << name;
      sendCrossing(tile, GDK_ENTER_NOTIFY);
      sendCrossing(tile, GDK_LEAVE_NOTIFY);
    }

    // Every report, first without a PDF reader, then with one.
    press(tileNamed("ObrazOpis"));
    ASSERT_NE(descriptionChooserWindow, nullptr);
    std::vector<GtkWidget *> rows = chooserRows();
    ASSERT_EQ(rows.size(), descriptionList.size());
    for (GtkWidget *row : rows) press(row);
    EXPECT_NE(pdfReaderPromptWindow, nullptr);
    fakedesktop::Access()->registryKeys.insert(
        fakedesktop::registryName(platform::RegistryRoot::CurrentUser, "SOFTWARE\\Adobe\\Acrobat Reader"));
    for (GtkWidget *row : rows) press(row);
    EXPECT_EQ(fakedesktop::Access()->shellCalls.size(), 2 * descriptionList.size() - 1);

    // The browser: build, every step, zoom, and cine.
    press(tileNamed("ObrazRef"));
    ASSERT_NE(browser.browserWindow, nullptr);
    int thumbnails = 0;
    for (const auto &study : ThumbnailIndex)
      for (const auto &series : study.second) thumbnails += static_cast<int>(series.second.size());
    EXPECT_EQ(thumbnails, images_);
    for (GtkWidget *button : {browser.nextImageButton, browser.nextImageButton, browser.prevImageButton,
                              browser.nextSeriesButton, browser.nextSeriesButton, browser.prevSeriesButton})
      clickButton(button);
    GtkWidget *thumbnail = ThumbnailIndex.at(1).at(1).at(2);
    expandPathTo(thumbnail);
    press(gtk_widget_get_parent(thumbnail));
    EXPECT_EQ(browser.selectedThumbnail, thumbnail);
    // The zoom buttons close the control bar.
    std::vector<GtkWidget *> slots =
        childrenOf(gtk_widget_get_parent(gtk_widget_get_parent(browser.playButton)));
    for (size_t fromEnd : {2, 2, 1})
      clickButton(gtk_bin_get_child(GTK_BIN(slots.at(slots.size() - fromEnd))));
    EXPECT_DOUBLE_EQ(browser.zoomFactor, 1.2);
    clickButton(browser.playButton);
    ASSERT_TRUE(browser.cinePlaying);
    int frames = 0;
    GtkWidget *shown = browser.selectedThumbnail;
    EXPECT_TRUE(waitUntil([&] {
      if (browser.selectedThumbnail != shown) ++frames, shown = browser.selectedThumbnail;
      return frames >= 4;
    }));
    clickButton(browser.playButton);
    EXPECT_FALSE(browser.cinePlaying);
    sendDeleteEvent(browser.browserWindow);
    press(tileNamed("ObrazRef"));
    EXPECT_TRUE(gtk_widget_get_visible(browser.browserWindow));

    // A viewer launch, which ends at the viewer's splash window.
    press(tileNamed("ObrazDiag"));
    EXPECT_TRUE(waitUntil([] { return !viewerLaunching && launchThreadsRunning() == 0; }));
    EXPECT_EQ(fakedesktop::Access()->shellCalls.back().file, root_ + "/Program/DICOMViewer.exe");

    // The user closes the main window; the program removes its working directory.
    gtk_widget_destroy(mainWindow);
    mainWindow = nullptr;
    drainEvents();
    removeTmpDirectory();
  }

  EXPECT_FALSE(fs::exists(fs::symlink_status(workingDirectory)));
  EXPECT_EQ(snapshotDifferences(before, snapshotTree(root_)), "");
}

std::string discName(const testing::TestParamInfo<Disc> &info) {
  return info.param == Disc::Writable ? "Writable" : info.param == Disc::ReadOnly ? "ReadOnly" : "Mounted";
}

INSTANTIATE_TEST_SUITE_P(Disc, WholeSession, testing::Values(Disc::Writable, Disc::ReadOnly, Disc::Mounted),
                         discName);

}  // namespace
