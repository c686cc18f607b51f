// A medium with reference pictures, the main window on it, and the browser.
#include "support/browser_session.h"

#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/cine_playback.h"
#include "browser/image_view.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "support/gui.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include "support/dicom_fixture.h"

#include <cstdio>

namespace testsupport {

namespace {

// The navigator's own pictures, each of its own size so that a test can tell
// which one a button shows.
const char *const kNavigatorPictures[] = {"play.png",       "stop.png",          "prevprev.png",
                                          "prev.png",       "next.png",          "nextnext.png",
                                          "zoom_in.png",    "zoom_out.png",      "obr_ref_n.jpg",
                                          "obr_diag_n.jpg", "toggle_expand.png", "toggle_colapse.png"};

std::string numbered(const char *prefix, size_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%03zu", prefix, index + 1);
  return name;
}

}  // namespace

std::vector<StudyOnMedium> sampleStudies() {
  return {
      {"CT", "Głowa", {{"Osiowa", {{100, 90}, {101, 90}, {102, 90}}}, {"Czołowa", {{110, 90}, {111, 90}}}}},
      {"MR", "", {{"", {{120, 90}, {121, 90}, {122, 90}, {123, 90}}}}}};
}

void BrowserSession::writeSeriesRecord(const std::string &relative, const std::string &modality,
                                       const std::string &studyDescription,
                                       const std::string &seriesDescription) const {
  writeDicomFile(medium_.path(relative), {{DCM_SpecificCharacterSet, "ISO_IR 192"},
                                          {DCM_PatientName, "Kowalski^Jan"},
                                          {DCM_PatientID, "80010112345"},
                                          {DCM_Modality, modality},
                                          {DCM_StudyDate, "20240105"},
                                          {DCM_StudyDescription, studyDescription},
                                          {DCM_SeriesDescription, seriesDescription}});
}

void BrowserSession::makeMedium(const std::vector<StudyOnMedium> &studies) {
  int side = 16;
  for (const char *name : kNavigatorPictures)
    medium_.writePicture(std::string("img/") + name, side, side), ++side;
  medium_.makeDirectory("REFIMG");
  medium_.makeDirectory("DICOM");
  for (size_t s = 0; s < studies.size(); ++s) {
    for (size_t j = 0; j < studies[s].series.size(); ++j) {
      const SeriesOnMedium &series = studies[s].series[j];
      std::string folder = numbered("ST", s) + "/" + numbered("SE", j);
      medium_.makeDirectory("REFIMG/" + folder);
      for (size_t i = 0; i < series.pictures.size(); ++i)
        medium_.writePicture("REFIMG/" + folder + "/" + numbered("IM", i) + ".png", series.pictures[i].first,
                             series.pictures[i].second);
      writeSeriesRecord("DICOM/" + folder + "/IM000001", studies[s].modality, studies[s].description,
                        series.description);
    }
  }
  testing::internal::CaptureStdout();
  createTmpDirectory();
  testing::internal::GetCapturedStdout();
  parsePalette();
  buildMainWindow();
  drainEvents();
}

void BrowserSession::pressTile(GdkEventType type) {
  // The load traces every picture; the tests look at the screen instead.
  testing::internal::CaptureStdout();
  sendButtonEvent(tile(), type);
  testing::internal::GetCapturedStdout();
}

void BrowserSession::openBrowser(const std::vector<StudyOnMedium> &studies) {
  makeMedium(studies);
  pressTile();
  ASSERT_NE(browser.browserWindow, nullptr);
  ASSERT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
}

GtkWidget *BrowserSession::tile() const {
  GtkWidget *image = findWidget(mainWindow, "ObrazRef");
  return image ? gtk_widget_get_parent(image) : nullptr;
}

GtkWidget *BrowserSession::thumbnail(int study, int series, int image) {
  return ThumbnailIndex.at(study).at(series).at(image);
}

std::pair<int, int> BrowserSession::shownSize() { return viewedPictureSize(); }

std::string BrowserSession::frameColour(GtkWidget *thumbnail) {
  GdkColor c = gtk_widget_get_style(gtk_widget_get_parent(thumbnail))->bg[GTK_STATE_NORMAL];
  char text[16];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red >> 8, c.green >> 8, c.blue >> 8);
  return text;
}

void BrowserSession::click(GtkWidget *button) { clickButton(button); }

namespace {

// The control bar holds each button in an alignment; the zoom buttons come last.
GtkWidget *controlBarButton(size_t fromEnd) {
  GtkWidget *bar = gtk_widget_get_parent(gtk_widget_get_parent(browser.playButton));
  std::vector<GtkWidget *> slots = childrenOf(bar);
  return gtk_bin_get_child(GTK_BIN(slots.at(slots.size() - fromEnd)));
}

}  // namespace

GtkWidget *BrowserSession::zoomInButton() { return controlBarButton(2); }
GtkWidget *BrowserSession::zoomOutButton() { return controlBarButton(1); }

void BrowserSession::TearDown() {
  if (browser.cinePlaying && browser.browserWindow != nullptr) stopCinePlayback();
  for (GtkWidget *window : windowsTitled("Obrazy referencyjne")) gtk_widget_destroy(window);
  if (browser.browserWindow != nullptr) gtk_widget_destroy(browser.browserWindow);
  resetBrowserState();
  referenceBrowserBusy = false;
  DicomFileIndex.clear();
  StudyMetadataIndex.clear();
  if (mainWindow != nullptr) gtk_widget_destroy(mainWindow);
  mainWindow = loadProgressBar = viewerSpinner = nullptr;
  drainEvents();
  removeTmpDirectory();
}

}  // namespace testsupport
