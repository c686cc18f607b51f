// The trace of a scripted browser session on a generated sample disc (open,
// every step, zoom, cine, close) is the recorded one, line for line: the
// browser's inner workings may be rebuilt, what it writes must not change.
// Only what differs from run to run is masked: the disc's and the working
// directory's paths and the addresses of pictures.
#include "sample_medium.h"

#include "app/main_window.h"
#include "base/medium_root.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/cine_playback.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "descriptions/description_list.h"
#include "tree/branch_tree.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include "fakes/fake_desktop.h"
#include "support/file_permissions.h"
#include "support/gui.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace {

using namespace testsupport;

GtkWidget *tileNamed(const char *imageName) {
  GtkWidget *image = findWidget(mainWindow, imageName);
  return image != nullptr ? gtk_widget_get_parent(image) : nullptr;
}

// The trace with the paths of this run and picture addresses masked.
std::string masked(std::string text, const std::string &disc, const std::string &work) {
  for (const auto &[path, mark] : {std::pair{work, "<work>"}, std::pair{disc, "<disc>"}})
    for (size_t at; !path.empty() && (at = text.find(path)) != std::string::npos;)
      text.replace(at, path.size(), mark);
  return std::regex_replace(text, std::regex("0x[0-9a-f]+"), "0x?");
}

TEST(BrowserTrace, AScriptedSessionWritesTheRecordedTrace) {
  fakedesktop::reset();
  ScopedMedium scratch;
  samplemedium::SampleMediumOptions options;
  options.studies = 2;
  options.seriesPerStudy = 2;
  options.imagesPerSeries = 3;
  options.pictureSize = 64;
  options.navigatorProgram = options.toolDirectory = options.viewerProgram = "";
  samplemedium::SampleMediumSummary summary;
  std::string error;
  const std::string disc = scratch.path("disc");
  ASSERT_TRUE(samplemedium::generateSampleMedium(disc, options, &summary, &error)) << error;
  ASSERT_EQ(::chdir(disc.c_str()), 0);
  currentPath = disc + "/";
  testing::internal::CaptureStdout();
  createTmpDirectory();
  const std::string work = tmpDirectory;
  parsePalette();
  buildMainWindow();
  drainEvents();

  sendButtonEvent(tileNamed("ObrazRef"));
  ASSERT_NE(browser.browserWindow, nullptr);
  for (GtkWidget *button :
       {browser.nextImageButton, browser.nextImageButton, browser.prevImageButton, browser.nextSeriesButton,
        browser.nextSeriesButton, browser.prevSeriesButton, browser.prevImageButton})
    clickButton(button);
  // The zoom buttons close the control bar: in, in, out.
  std::vector<GtkWidget *> slots =
      childrenOf(gtk_widget_get_parent(gtk_widget_get_parent(browser.playButton)));
  for (size_t fromEnd : {2, 2, 1}) clickButton(gtk_bin_get_child(GTK_BIN(slots.at(slots.size() - fromEnd))));
  clickButton(browser.playButton);
  ASSERT_TRUE(browser.cinePlaying);
  int frames = 0;
  GtkWidget *shown = browser.selectedThumbnail;
  EXPECT_TRUE(waitUntil([&] {
    if (browser.selectedThumbnail != shown) ++frames, shown = browser.selectedThumbnail;
    return frames >= 4;
  }));
  clickButton(browser.playButton);
  sendDeleteEvent(browser.browserWindow);
  sendButtonEvent(tileNamed("ObrazRef"));
  sendDeleteEvent(browser.browserWindow);
  gtk_widget_destroy(mainWindow);
  drainEvents();
  removeTmpDirectory();
  const std::string trace = masked(testing::internal::GetCapturedStdout(), disc, work);

  const std::string recorded = readFile(VELMORA_TEST_DATA_DIR "/tools/browser_session.trace");
  EXPECT_FALSE(recorded.empty());
  EXPECT_EQ(trace, recorded);
  if (trace != recorded && std::getenv("VELMORA_RECORD_TRACE") != nullptr) {
    std::FILE *out = std::fopen(std::getenv("VELMORA_RECORD_TRACE"), "w");
    if (out != nullptr) std::fputs(trace.c_str(), out), std::fclose(out);
  }

  gtk_widget_destroy(browser.browserWindow);
  resetBrowserState();
  mainWindow = loadProgressBar = viewerSpinner = nullptr;
  referenceBrowserBusy = false;
  DicomFileIndex.clear();
  StudyMetadataIndex.clear();
  descriptionList.clear();
  currentPath.clear();
  fakedesktop::reset();
  EXPECT_EQ(::chdir(scratch.root().c_str()), 0);
  setModeRecursively(disc, 0644, 0755);
}

}  // namespace
