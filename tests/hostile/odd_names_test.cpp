// Names and values on a hostile medium: folders and pictures named with
// quotes, ampersands, angle brackets, line breaks and bytes that are not
// UTF-8, and attribute values that look like markup. The browser builds,
// every label shows the text as it stands, and nothing is written on the medium.
#include "browser/browser_state.h"
#include "catalogue/reference_catalogue.h"

#include "browser/thumbnail_index.h"
#include "support/browser_session.h"
#include "support/dicom_fixture.h"
#include "support/gui.h"
#include "support/tree_snapshot.h"

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

namespace {

using namespace testsupport;
namespace fs = boost::filesystem;

// Appended to every folder and picture name; keeps the names' order.
const std::string kOdd = " \"<&>'\n\xFF";

std::string labelOf(GtkWidget *branch) {
  return gtk_label_get_text(GTK_LABEL(childrenOf(branchWidget(branch)).at(1)));
}

bool validUtf8(const std::string &text) { return g_utf8_validate(text.c_str(), -1, nullptr); }

using OddNames = BrowserSession;

TEST_F(OddNames, FoldersPicturesAndValuesAreShownAsTheyStand) {
  makeMedium(sampleStudies());
  for (const char *tree : {"REFIMG", "DICOM"}) {
    for (const char *study : {"ST001", "ST002"}) {
      std::string folder = std::string(tree) + "/" + study;
      fs::rename(medium_.path(folder + "/SE001"), medium_.path(folder + "/SE001" + kOdd));
      fs::rename(medium_.path(folder), medium_.path(folder + kOdd));
    }
  }
  const std::string series = "REFIMG/ST002" + kOdd + "/SE001" + kOdd;
  fs::rename(medium_.path(series + "/IM001.png"), medium_.path(series + "/IM001" + kOdd + ".png"));
  writeDicomFile(medium_.path("DICOM/ST002" + kOdd + "/SE001" + kOdd + "/IM000001"),
                 {{DCM_SpecificCharacterSet, "ISO_IR 192"},
                  {DCM_PatientName, "<b>Kowal&ski</b>\xFF"},
                  {DCM_PatientID, "</span>"},
                  {DCM_Modality, "MR"},
                  {DCM_StudyDescription, "<i>&amp;"},
                  {DCM_SeriesDescription, "a\"b'<c>\n"}});
  const TreeSnapshot before = snapshotTree(medium_.root());

  testing::internal::CaptureStdout();
  sendButtonEvent(tile());
  std::string traced = testing::internal::GetCapturedStdout();
  ASSERT_NE(browser.browserWindow, nullptr);
  EXPECT_EQ(traced.find("wyjatek"), std::string::npos) << traced;
  ASSERT_EQ(ThumbnailIndex.size(), 2u);
  EXPECT_EQ(ThumbnailIndex.at(0).at(0).size(), 3u);
  EXPECT_EQ(ThumbnailIndex.at(1).at(0).size(), 4u);

  GtkWidget *study = childBranch(*browser.browserTree, nullptr, 1);
  EXPECT_EQ(labelOf(study), "MR [<i>&amp;]");
  EXPECT_EQ(labelOf(childBranch(*browser.browserTree, study, 0)), "a\"b'<c>\n");

  // From no position, the third series step lands on the first picture of study 1.
  for (int step = 0; step < 3; ++step) click(browser.nextSeriesButton);
  EXPECT_EQ(browser.selectedThumbnail, thumbnail(1, 0, 0));
  std::string line = gtk_label_get_text(GTK_LABEL(browser.infoLabel));
  EXPECT_TRUE(validUtf8(line)) << line;
  EXPECT_NE(line.find("PACJENT: <b>Kowal&ski</b>..."), std::string::npos) << line;
  EXPECT_NE(line.find("PESEL: </span>,"), std::string::npos) << line;
  EXPECT_NE(line.find("OPIS BADANIA: <i>&amp;,"), std::string::npos) << line;
  gchar *tooltip = gtk_widget_get_tooltip_text(browser.infoLabel);
  ASSERT_NE(tooltip, nullptr);
  EXPECT_TRUE(validUtf8(tooltip));
  EXPECT_NE(std::string(tooltip).find("PACJENT:<b>Kowal&ski</b>\xEF\xBF\xBD"), std::string::npos) << tooltip;
  g_free(tooltip);

  EXPECT_EQ(snapshotDifferences(before, snapshotTree(medium_.root())), "");
}

}  // namespace
