// The large picture, the information line and the thumbnails' frames.
#include "browser/image_view.h"

#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/navigation.h"
#include "browser/rules/information_line.h"
#include "browser/thumbnail_handlers.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "platform/glib_owners.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "ui/palette.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>

namespace {

using namespace testsupport;

// The parts of the browser this behaviour touches: the image view, the line,
// and thumbnails framed by event boxes as the tree makes them.
class ImageViewTest : public testing::Test {
 protected:
  void SetUp() override {
    parsePalette();
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget *box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    browser.infoLabel = gtk_label_new("");
    browser.imageView = gtk_image_new();
    gtk_box_pack_start(GTK_BOX(box), browser.infoLabel, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), browser.imageView, FALSE, FALSE, 0);
    thumbnailBox_ = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), thumbnailBox_, FALSE, FALSE, 0);
    StudyMetadataIndex[0][0] = {{"Kowalski^Jan", "80010112345", "CT", "20240105", "", "Seria A"}};
    StudyMetadataIndex[0][1] = {{"Kowalski^Jan", "80010112345", "CT", "20240105", "TK głowy", ""}};
  }
  void TearDown() override {
    gtk_widget_destroy(window_);
    browser.imageView = browser.infoLabel = browser.selectedThumbnail = nullptr;
    StudyMetadataIndex.clear();
    ThumbnailIndex.clear();
    browser.currentStudy = browser.currentSeries = browser.currentImage = -1;
    browser.zoomFactor = 1.0;
  }
  GtkWidget *addThumbnail(int study, int series, int width, int height) {
    std::string file = "REFIMG/" + std::to_string(++pictures_) + ".png";
    medium_.writePicture(file, width, height);
    GtkWidget *frame = gtk_event_box_new();
    GtkWidget *thumbnail = gtk_image_new();
    attachFullPictureSource(thumbnail,
                            std::make_unique<FullPictureSource>(FullPictureSource{file, width, height}));
    gtk_container_add(GTK_CONTAINER(frame), thumbnail);
    gtk_box_pack_start(GTK_BOX(thumbnailBox_), frame, FALSE, FALSE, 0);
    g_signal_connect_swapped(frame, "enter_notify_event", G_CALLBACK(onThumbnailEnter), thumbnail);
    g_signal_connect_swapped(frame, "leave_notify_event", G_CALLBACK(onThumbnailLeave), thumbnail);
    g_signal_connect_swapped(frame, "button_press_event", G_CALLBACK(onThumbnailPressed), thumbnail);
    gtk_widget_show_all(window_);
    ThumbnailIndex[study][series].push_back(thumbnail);
    return thumbnail;
  }
  static std::string frameColour(GtkWidget *thumbnail) {
    GdkColor c = gtk_widget_get_style(gtk_widget_get_parent(thumbnail))->bg[GTK_STATE_NORMAL];
    char text[16];
    g_snprintf(text, sizeof text, "#%02x%02x%02x", c.red >> 8, c.green >> 8, c.blue >> 8);
    return text;
  }
  static std::pair<int, int> shownSize() { return viewedPictureSize(); }
  ScopedMedium medium_;
  int pictures_ = 0;
  GtkWidget *window_ = nullptr;
  GtkWidget *thumbnailBox_ = nullptr;
};

TEST_F(ImageViewTest, ScalesFromTheFullPictureWithSidesOfAtLeastTwentyPixels) {
  EXPECT_EQ(showCurrentImage(), 0);  // nothing selected
  EXPECT_EQ(shownSize(), std::make_pair(0, 0));

  GtkWidget *square = addThumbnail(0, 0, 512, 512);
  GtkWidget *strip = addThumbnail(0, 0, 300, 10);
  browser.currentStudy = browser.currentSeries = 0;
  browser.selectedThumbnail = square;
  EXPECT_EQ(showCurrentImage(), 512);
  EXPECT_EQ(shownSize(), std::make_pair(512, 512));

  browser.selectedThumbnail = strip;
  EXPECT_EQ(showCurrentImage(), 20);
  EXPECT_EQ(shownSize(), std::make_pair(300, 20));

  browser.selectedThumbnail = square;
  browser.zoomFactor = 1.2 * 1.2;
  EXPECT_EQ(showCurrentImage(), 737);
  EXPECT_EQ(shownSize(), std::make_pair(737, 737));
  browser.zoomFactor = 0.01;
  EXPECT_EQ(showCurrentImage(), 20);
  EXPECT_EQ(shownSize(), std::make_pair(20, 20));
}

TEST_F(ImageViewTest, InformationLineShowsTheSeriesRecordWithBrakForAnEmptyStudyDescription) {
  browser.selectedThumbnail = addThumbnail(0, 0, 64, 64);
  browser.currentStudy = browser.currentSeries = 0;
  showCurrentImage();
  EXPECT_STREQ(
      gtk_label_get_text(GTK_LABEL(browser.infoLabel)),
      "PACJENT: Kowalski^Jan, PESEL: 80010112345, MODALNOŚĆ: CT, OPIS BADANIA: brak, OPIS SERII: Seria A");
  gchar *tooltip = gtk_widget_get_tooltip_text(browser.infoLabel);
  EXPECT_STREQ(
      tooltip,
      "PACJENT:Kowalski^Jan\nPESEL: 80010112345\nMODALNOŚĆ: CT\nDATA BADANIA: 20240105\nOPIS BADANIA: brak");
  g_free(tooltip);

  // Labels white, values grey.
  const std::string text = gtk_label_get_text(GTK_LABEL(browser.infoLabel));
  PangoAttrList *attributes = gtk_label_get_attributes(GTK_LABEL(browser.infoLabel));
  ASSERT_NE(attributes, nullptr);
  PangoAttrIterator *it = pango_attr_list_get_iterator(attributes);
  std::vector<std::pair<std::string, std::string>> pieces;
  do {
    if (auto *colour =
            reinterpret_cast<PangoAttrColor *>(pango_attr_iterator_get(it, PANGO_ATTR_FOREGROUND))) {
      gint start = 0, end = 0;
      pango_attr_iterator_range(it, &start, &end);
      end = std::min(end, static_cast<gint>(text.size()));
      pieces.emplace_back(text.substr(start, end - start), colour->color.red == 0xffff   ? "white"
                                                           : colour->color.red == 0xaaaa ? "grey"
                                                                                         : "other");
    }
  } while (pango_attr_iterator_next(it));
  pango_attr_iterator_destroy(it);
  EXPECT_EQ(pieces, (std::vector<std::pair<std::string, std::string>>{{"PACJENT: ", "white"},
                                                                      {"Kowalski^Jan", "grey"},
                                                                      {", PESEL: ", "white"},
                                                                      {"80010112345", "grey"},
                                                                      {", MODALNOŚĆ: ", "white"},
                                                                      {"CT", "grey"},
                                                                      {", OPIS BADANIA: ", "white"},
                                                                      {"brak", "grey"},
                                                                      {", OPIS SERII: ", "white"},
                                                                      {"Seria A", "grey"}}));

  browser.currentSeries = 1;
  showCurrentImage();
  EXPECT_STREQ(
      gtk_label_get_text(GTK_LABEL(browser.infoLabel)),
      "PACJENT: Kowalski^Jan, PESEL: 80010112345, MODALNOŚĆ: CT, OPIS BADANIA: TK głowy, OPIS SERII: ");
}

TEST_F(ImageViewTest, MarkupCharactersAndLongPolishValuesAreShownSafely) {
  StudyMetadataIndex[0][0] = {{"Żółkiewska-Brzęczyszczykiewicz^Łucja", "<b>&amp;", "MR", "20231231",
                               "Badanie \"kontrolne\" <pilne> & szybkie", "a&b"}};
  browser.selectedThumbnail = addThumbnail(0, 0, 64, 64);
  browser.currentStudy = browser.currentSeries = 0;
  showCurrentImage();
  const char *line = gtk_label_get_text(GTK_LABEL(browser.infoLabel));
  EXPECT_TRUE(g_utf8_validate(line, -1, nullptr));
  EXPECT_STREQ(
      line,
      "PACJENT: Żółkiewska-Br..., PESEL: <b>&amp;, MODALNOŚĆ: MR, OPIS BADANIA: Badanie \"kontrol..., "
      "OPIS SERII: a&b");
  gchar *tooltip = gtk_widget_get_tooltip_text(browser.infoLabel);
  EXPECT_NE(std::string(tooltip).find("PACJENT:Żółkiewska-Brzęczyszczykiewicz^Łucja\n"), std::string::npos);
  g_free(tooltip);
  // Exactly 16 bytes stay whole; invalid bytes never reach the label.
  StudyMetadataIndex[0][0] = {{"Kowalski^Jan1234", "1", "CT", "", "abc\xff", ""}};
  showCurrentImage();
  line = gtk_label_get_text(GTK_LABEL(browser.infoLabel));
  EXPECT_TRUE(g_utf8_validate(line, -1, nullptr));
  EXPECT_NE(std::string(line).find("PACJENT: Kowalski^Jan1234, "), std::string::npos);
}

TEST_F(ImageViewTest, FrameColoursFollowHoverAndSelection) {
  GtkWidget *first = addThumbnail(0, 0, 32, 32);
  GtkWidget *second = addThumbnail(0, 0, 32, 32);
  GtkWidget *firstFrame = gtk_widget_get_parent(first);

  sendCrossing(firstFrame, GDK_ENTER_NOTIFY);
  EXPECT_EQ(frameColour(first), "#aaaaaa");
  sendCrossing(firstFrame, GDK_LEAVE_NOTIFY);
  EXPECT_EQ(frameColour(first), "#000000");

  sendButtonEvent(firstFrame);
  EXPECT_EQ(browser.selectedThumbnail, first);
  EXPECT_EQ(frameColour(first), "#aa0000");
  EXPECT_EQ(browser.currentImage, 0);
  EXPECT_EQ(shownSize(), std::make_pair(32, 32));
  sendCrossing(firstFrame, GDK_ENTER_NOTIFY);
  EXPECT_EQ(frameColour(first), "#aa0000");  // the selected keeps its colour
  sendCrossing(firstFrame, GDK_LEAVE_NOTIFY);
  EXPECT_EQ(frameColour(first), "#ff0000");

  sendButtonEvent(gtk_widget_get_parent(second));
  EXPECT_EQ(browser.selectedThumbnail, second);
  EXPECT_EQ(browser.currentImage, 1);
  EXPECT_EQ(frameColour(first), "#000000");
  EXPECT_EQ(frameColour(second), "#aa0000");
}

TEST_F(ImageViewTest, PressingTheSelectedThumbnailChangesNothingOnScreen) {
  GtkWidget *thumbnail = addThumbnail(0, 1, 40, 40);
  sendButtonEvent(gtk_widget_get_parent(thumbnail));
  EXPECT_EQ(browser.currentSeries, 1);
  sendCrossing(gtk_widget_get_parent(thumbnail), GDK_LEAVE_NOTIFY);
  int shown = 0;
  setPictureShownObserver([&shown] { ++shown; });
  sendButtonEvent(gtk_widget_get_parent(thumbnail));
  setPictureShownObserver(nullptr);
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(frameColour(thumbnail), "#ff0000");
}

}  // namespace
