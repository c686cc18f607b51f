// A medium with reference pictures and matching DICOM files, the main window
// built on it, and the reference-image browser opened by a press on its tile,
// as a user gets there. Every browser and catalogue global is reset afterwards.
#pragma once

#include "support/scoped_medium.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace testsupport {

struct SeriesOnMedium {
  std::string description;
  // Width and height of every picture, in directory order.
  std::vector<std::pair<int, int>> pictures;
};

struct StudyOnMedium {
  std::string modality;
  std::string description;
  std::vector<SeriesOnMedium> series;
};

// Study 0 (CT): series of 3 and 2 pictures; study 1 (MR): one series of 4.
// Every picture has its own size, so the shown one can be told apart.
std::vector<StudyOnMedium> sampleStudies();

class BrowserSession : public testing::Test {
 protected:
  void TearDown() override;

  // Writes REFIMG and DICOM for `studies` and the navigator's pictures, then
  // builds the working directory and the main window.
  void makeMedium(const std::vector<StudyOnMedium> &studies);
  // Writes the DICOM file at `relative` that describes one series.
  void writeSeriesRecord(const std::string &relative, const std::string &modality,
                         const std::string &studyDescription, const std::string &seriesDescription) const;
  // Presses the reference-images tile once (or with another event type).
  void pressTile(GdkEventType type = GDK_BUTTON_PRESS);
  // makeMedium and a press; the browser window is then open.
  void openBrowser(const std::vector<StudyOnMedium> &studies = sampleStudies());

  // The reference-images tile's event box.
  GtkWidget *tile() const;
  // The thumbnail at (study, series, image) in the catalogue's index.
  static GtkWidget *thumbnail(int study, int series, int image);
  // Width and height of the picture the image view shows, (0, 0) for none.
  static std::pair<int, int> shownSize();
  // "#rrggbb" of a thumbnail's frame.
  static std::string frameColour(GtkWidget *thumbnail);
  // Clicks a control-bar button as a user does.
  static void click(GtkWidget *button);
  // The control bar's zoom buttons, which have no global of their own.
  static GtkWidget *zoomInButton();
  static GtkWidget *zoomOutButton();

  ScopedMedium medium_;
};

}  // namespace testsupport
