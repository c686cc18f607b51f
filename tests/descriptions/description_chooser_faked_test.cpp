// The descriptions tile and the chooser window "Opis Badania" as a user meets
// them: columns, labels, tooltips, width, one window only, and which presses
// open a report.
#include "descriptions/description_chooser.h"
#include "descriptions/description_list.h"
#include "descriptions/descriptions_tile.h"

#include "app/main_window.h"
#include "base/medium_root.h"
#include "base/text.h"
#include "catalogue/reference_catalogue.h"
#include "descriptions/descriptions_fixture.h"
#include "support/dicom_fixture.h"
#include "ui/ui_state.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

StudyMetadata sampleRecord() {
  StudyMetadata record;
  record.patientName = "Kowalski^Jan12345";  // 17 bytes: shortened
  record.patientId = "80010112345";
  record.modality = "CT";
  record.studyDate = "20240115";
  record.studyDescription = "Badanie glowy TK";  // 16 bytes: whole
  record.seriesDescription = "Seria 1";
  return record;
}

class DescriptionChooserTest : public DescriptionsTest {
 protected:
  // Writes every report of `names` on the medium and builds the tile for them.
  GtkWidget *buildTileFor(const std::vector<std::string> &names) {
    std::string list = "var opisy = [";
    for (const std::string &name : names) {
      medium_.writeFile(name, "<p>" + name + "</p>");
      list += "\"" + name + "\", ";
    }
    return buildTile(list + "];");
  }

  // Presses the tile and returns the chooser it shows.
  GtkWidget *pressTile(GtkWidget *tile, GdkEventType type = GDK_BUTTON_PRESS) {
    sendButtonEvent(tile, type);
    return descriptionChooserWindow;
  }

  static std::vector<GtkWidget *> columnsOf(GtkWidget *chooser) {
    GtkWidget *scrolled = findWidget(chooser, "scrolled_window");
    GtkWidget *viewport = childrenOf(scrolled).at(0);
    for (GtkWidget *child : childrenOf(scrolled))
      if (GTK_IS_VIEWPORT(child)) viewport = child;
    GtkWidget *background = childrenOf(viewport).at(0);
    return childrenOf(childrenOf(background).at(0));
  }
};

TEST_F(DescriptionChooserTest, TileExistsOnlyWhenTheListNamesAReport) {
  struct Case {
    const char *what;
    const char *list;  // null: no list file on the medium
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"no list file", nullptr, {}},
      {"list without a report", "var opisy = [\"opis.txt\", \"OPIS.HTML\"];", {}},
      {"one report", "[\"opis.html\"]", {"opis.html"}},
      {"duplicates", "[\"b.pdf\",\"a.htm\",\"b.pdf\"]", {"b.pdf", "a.htm", "b.pdf"}},
  };
  for (const Case &c : cases) {
    GtkWidget *tile = nullptr;
    if (c.list) {
      tile = buildTile(c.list);
    } else {
      startRun();
      tileWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      GtkWidget *row = gtk_hbox_new(FALSE, 10);
      gtk_container_add(GTK_CONTAINER(tileWindow_), row);
      buildDescriptionsTile(row);
      EXPECT_TRUE(childrenOf(row).empty());
    }
    EXPECT_EQ(descriptionList, c.entries) << c.what;
    EXPECT_EQ(tile != nullptr, !c.entries.empty()) << c.what;
    if (tile) {
      GtkWidget *image = childrenOf(tile).at(0);
      EXPECT_STREQ(gtk_widget_get_name(image), "ObrazOpis");
      EXPECT_TRUE(imageShowsFile(image, tmpPath("/img/opis_n.jpg")));
      sendCrossing(tile, GDK_ENTER_NOTIFY);
      EXPECT_TRUE(imageShowsFile(image, tmpPath("/img/opis_a.jpg")));
      sendCrossing(tile, GDK_LEAVE_NOTIFY);
      EXPECT_TRUE(imageShowsFile(image, tmpPath("/img/opis_n.jpg")));
    }
    gtk_widget_destroy(tileWindow_);
    tileWindow_ = nullptr;
    descriptionList.clear();
    removeTmpDirectory();
  }
}

TEST_F(DescriptionChooserTest, DescriptionsTileIsTheLeftmostTileOfTheMainWindow) {
  medium_.writeFile("descrlist.js", "[\"a.html\", \"b.pdf\"]");
  medium_.makeDirectory("REFIMG");
  startRun();
  buildMainWindow();
  drainEvents();
  GtkWidget *tilesRow = childrenOf(childrenOf(mainWindow).at(0)).at(0);
  std::vector<std::string> names;
  for (GtkWidget *tile : childrenOf(tilesRow)) names.push_back(gtk_widget_get_name(childrenOf(tile).at(0)));
  EXPECT_EQ(names, (std::vector<std::string>{"ObrazOpis", "ObrazRef", "ObrazDiag"}));
  EXPECT_NE(pressTile(childrenOf(tilesRow).at(0)), nullptr);
}

TEST_F(DescriptionChooserTest, OneReportOpensAtOnceForEveryPressEventOfTheTile) {
  registerPdfReader();
  GtkWidget *tile = buildTileFor({"wynik.pdf"});
  ASSERT_NE(tile, nullptr);
  ASSERT_TRUE(waitUntil([&] { return gtk_widget_get_mapped(tile) != FALSE; }));
  gdk_window_raise(gtk_widget_get_window(tileWindow_));
  ASSERT_TRUE(clickWithPointer(tile));
  ASSERT_TRUE(waitUntil([] { return shellCalls().size() == 1u; }));
  EXPECT_EQ(shellCalls()[0].file, "wynik.pdf");
  // A double click delivers a second press event: the report opens again.
  sendButtonEvent(tile, GDK_BUTTON_PRESS);
  sendButtonEvent(tile, GDK_2BUTTON_PRESS);
  EXPECT_EQ(shellCalls().size(), 3u);
  EXPECT_EQ(descriptionChooserWindow, nullptr);
  EXPECT_TRUE(toplevelsNamed("OpisyBadan").empty());
}

TEST_F(DescriptionChooserTest, ColumnsShowEveryReportBesideTheFirstStudysData) {
  StudyMetadata other;
  other.patientName = "Nowak^Anna";
  other.studyDescription = "Inne badanie";
  StudyMetadataIndex[0][1] = {other};
  StudyMetadataIndex[1][0] = {other};
  StudyMetadataIndex[0][0] = {sampleRecord()};
  GtkWidget *tile = buildTileFor({"a.html", "opisy/b.pdf", "a.html"});
  GtkWidget *chooser = pressTile(tile);
  ASSERT_NE(chooser, nullptr);

  EXPECT_STREQ(gtk_widget_get_name(chooser), "OpisyBadan");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(chooser)), "Opis Badania");
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(chooser)));
  EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(chooser)), 5u);
  EXPECT_TRUE(isShownOnScreen(chooser));
  GtkPolicyType horizontal, vertical;
  gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(findWidget(chooser, "scrolled_window")), &horizontal,
                                 &vertical);
  EXPECT_EQ(horizontal, GTK_POLICY_AUTOMATIC);
  EXPECT_EQ(vertical, GTK_POLICY_NEVER);

  std::vector<GtkWidget *> columns = columnsOf(chooser);
  ASSERT_EQ(columns.size(), 3u);
  const char *entries[] = {"a.html", "opisy/b.pdf", "a.html"};
  const char *icons[] = {"/img/html2.png", "/img/pdf2.png", "/img/html2.png"};
  for (size_t i = 0; i < columns.size(); ++i) {
    std::vector<GtkWidget *> items = childrenOf(columns[i]);
    ASSERT_EQ(items.size(), 2u);
    guint top, bottom, left, right;
    gtk_alignment_get_padding(GTK_ALIGNMENT(items[0]), &top, &bottom, &left, &right);
    EXPECT_EQ(top, 5u);
    GtkWidget *row = childrenOf(items[0]).at(0);
    EXPECT_STREQ(gtk_widget_get_name(row), entries[i]);
    EXPECT_EQ(tooltipOf(row),
              std::string(" Kliknij by otworzyć opis badania z pliku \"") + entries[i] + "\" ");
    int width, height;
    gtk_widget_get_size_request(row, &width, &height);
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 120);
    EXPECT_TRUE(imageShowsFile(childrenOf(row).at(0), tmpPath(icons[i])));

    GtkWidget *label = items[1];
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "Kowalski^Jan1234...\n[Badanie glowy TK]");
    EXPECT_EQ(tooltipOf(label),
              "PACJENT:Kowalski^Jan12345\nPESEL: 80010112345\nMODALNOŚĆ: CT\nDATA BADANIA: 20240115\n"
              "OPIS BADANIA: Badanie glowy TK");
    EXPECT_EQ(gtk_widget_get_style(label)->fg[GTK_STATE_NORMAL].red, 0xffff);
  }

  // Hovering a report's icon shows the hand.
  GtkWidget *row = childrenOf(childrenOf(columns[1]).at(0)).at(0);
  sendCrossing(row, GDK_ENTER_NOTIFY);
  GdkCursor *cursor = gdk_window_get_cursor(gtk_widget_get_window(row));
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_HAND1);
}

TEST_F(DescriptionChooserTest, WidthShowsAtMostFiveColumnsAndMoreScroll) {
  // Labels as wide as a real patient's name and study, in capitals, never widen
  // a column and show the text as the design shortens it, whole.
  StudyMetadataIndex[0][0] = {
      {"WIŚNIEWSKA^ZOFIA MARIA", "68031412340", "CT", "20240101", "TK GŁOWY BEZ KONTRASTU", ""}};
  const std::pair<int, int> cases[] = {{2, 281}, {5, 662}, {7, 662}};
  for (const auto &[count, expectedWidth] : cases) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back("opis" + std::to_string(i) + ".html");
    GtkWidget *chooser = pressTile(buildTileFor(names));
    ASSERT_NE(chooser, nullptr);
    int width, height;
    gtk_widget_get_size_request(chooser, &width, &height);
    EXPECT_EQ(width, expectedWidth) << count;
    EXPECT_EQ(height, 190) << count;
    EXPECT_EQ(columnsOf(chooser).size(), static_cast<size_t>(count));
    GtkWidget *scrollBar =
        gtk_scrolled_window_get_hscrollbar(GTK_SCROLLED_WINDOW(findWidget(chooser, "scrolled_window")));
    // The window is shown first and then given its width; the scroll bar
    // follows the final allocation.
    bool scrolls = count > 5;
    EXPECT_TRUE(waitUntil([&] {
      GtkAllocation allocation;
      gtk_widget_get_allocation(chooser, &allocation);
      return gtk_widget_get_mapped(chooser) && allocation.width == expectedWidth &&
             (gtk_widget_get_visible(scrollBar) != FALSE) == scrolls;
    })) << count;
    for (GtkWidget *column : columnsOf(chooser)) {
      GtkWidget *label = childrenOf(column).at(1);
      EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "WIŚNIEWSKA^ZOFI...\n[TK GŁOWY BEZ KO...]");
      PangoLayout *layout = gtk_label_get_layout(GTK_LABEL(label));
      int textWidth = 0;
      pango_layout_get_pixel_size(layout, &textWidth, nullptr);
      GtkAllocation shown;
      gtk_widget_get_allocation(label, &shown);
      EXPECT_FALSE(pango_layout_is_ellipsized(layout));
      EXPECT_LE(textWidth, shown.width);
      EXPECT_LE(shown.width, 120);
    }

    gtk_widget_destroy(chooser);
    gtk_widget_destroy(tileWindow_);
    tileWindow_ = nullptr;
    removeTmpDirectory();
  }
  EXPECT_EQ(descriptionChooserWidth(1), 154);
}

TEST_F(DescriptionChooserTest, OneChooserOnlyBroughtToTheFrontAndBuiltAnewAfterClosing) {
  GtkWidget *tile = buildTileFor({"a.html", "b.html"});
  GtkWidget *chooser = pressTile(tile);
  ASSERT_NE(chooser, nullptr);
  gtk_widget_hide(chooser);
  EXPECT_EQ(pressTile(tile), chooser);
  EXPECT_EQ(pressTile(tile, GDK_2BUTTON_PRESS), chooser);
  EXPECT_TRUE(gtk_widget_get_visible(chooser));
  EXPECT_EQ(toplevelsNamed("OpisyBadan").size(), 1u);
  EXPECT_TRUE(shellCalls().empty());

  gtk_widget_destroy(chooser);
  EXPECT_EQ(descriptionChooserWindow, nullptr);
  GtkWidget *rebuilt = pressTile(tile);
  ASSERT_NE(rebuilt, nullptr);
  EXPECT_EQ(toplevelsNamed("OpisyBadan").size(), 1u);
  EXPECT_EQ(columnsOf(rebuilt).size(), 2u);
}

TEST_F(DescriptionChooserTest, ChooserOpensOverTheMainWindowWithinTheScreen) {
  medium_.writeFile("descrlist.js", "[\"a.html\",\"b.pdf\",\"c.html\",\"d.html\",\"e.html\"]");
  startRun();
  buildMainWindow();
  // What the user sees of a window: its frame, where the system draws one.
  auto frameOf = [](GtkWidget *window) {
    GdkRectangle frame = {0, 0, 0, 0};
    if (gtk_widget_get_mapped(window)) gdk_window_get_frame_extents(gtk_widget_get_window(window), &frame);
    return frame;
  };
  GdkRectangle home = {0, 0, 0, 0}, screen = {0, 0, gdk_screen_width(), gdk_screen_height()};
  ASSERT_TRUE(waitUntil([&] { return (home = frameOf(mainWindow)).width > 0; }));
  // The main window in the middle (the chooser centred on it) and in the far corner.
  const std::pair<int, int> places[] = {{(screen.width - home.width) / 2, (screen.height - home.height) / 2},
                                        {screen.width - home.width, screen.height - home.height}};
  for (const auto &place : places) {
    gtk_window_move(GTK_WINDOW(mainWindow), place.first, place.second);
    ASSERT_TRUE(waitUntil([&] {
      home = frameOf(mainWindow);
      return home.x == place.first && home.y == place.second;
    }));
    sendButtonEvent(gtk_widget_get_parent(findWidget(mainWindow, "ObrazOpis")));
    GtkWidget *chooser = descriptionChooserWindow;
    GdkRectangle shown = {0, 0, 0, 0}, overlap;
    ASSERT_TRUE(chooser != nullptr && waitUntil([&] {
                  shown = frameOf(chooser);
                  return shown.width > 0 &&
                         gdk_window_get_width(gtk_widget_get_window(chooser)) == descriptionChooserWidth(5);
                }));
    EXPECT_TRUE(gdk_rectangle_intersect(&shown, &home, &overlap)) << place.first;
    EXPECT_TRUE(place != places[0] || std::abs(2 * shown.x + shown.width - 2 * home.x - home.width) <= 2);
    gdk_rectangle_union(&shown, &screen, &overlap);
    EXPECT_TRUE(overlap.width == screen.width && overlap.height == screen.height) << place.first;
    gtk_widget_destroy(chooser);
  }
}

TEST_F(DescriptionChooserTest, OnlyASinglePressOnAColumnOpensItsReport) {
  registerPdfReader();
  GtkWidget *chooser = pressTile(buildTileFor({"a.html", "b.pdf"}));
  ASSERT_NE(chooser, nullptr);
  GtkWidget *pdfRow = findWidget(chooser, "b.pdf");
  ASSERT_NE(pdfRow, nullptr);

  sendButtonEvent(pdfRow, GDK_BUTTON_PRESS);
  ASSERT_EQ(shellCalls().size(), 1u);
  EXPECT_EQ(shellCalls()[0].file, "b.pdf");
  sendButtonEvent(pdfRow, GDK_2BUTTON_PRESS);
  sendButtonEvent(pdfRow, GDK_3BUTTON_PRESS);
  EXPECT_EQ(shellCalls().size(), 1u);
  sendButtonEvent(pdfRow, GDK_BUTTON_PRESS, 3);  // any button counts
  EXPECT_EQ(shellCalls().size(), 2u);

  // A real click, once the window has its final size and the row its place.
  GtkWidget *htmlRow = findWidget(chooser, "a.html");
  ASSERT_TRUE(waitUntil([&] {
    GtkAllocation allocation;
    gtk_widget_get_allocation(chooser, &allocation);
    return gtk_widget_get_mapped(htmlRow) && allocation.width == descriptionChooserWidth(2);
  }));
  gdk_window_raise(gtk_widget_get_window(chooser));
  ASSERT_TRUE(clickWithPointer(htmlRow));
  ASSERT_TRUE(waitUntil([] { return shellCalls().size() == 3u; }));
  EXPECT_EQ(shellCalls()[2].file, tmpPath("/a.html"));
  // The chooser stays open with its columns shown.
  EXPECT_EQ(descriptionChooserWindow, chooser);
  EXPECT_TRUE(isShownOnScreen(findWidget(chooser, "a.html")));
}

TEST_F(DescriptionChooserTest, WarningOfAColumnBelongsToTheChooser) {
  GtkWidget *chooser = pressTile(buildTileFor({"a.html", "b.html"}));
  ASSERT_NE(chooser, nullptr);
  std::remove(medium_.path("b.html").c_str());
  sendButtonEvent(findWidget(chooser, "b.html"), GDK_BUTTON_PRESS);
  std::vector<GtkWidget *> shown = warnings();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(GTK_WIDGET(gtk_window_get_transient_for(GTK_WINDOW(shown[0]))), chooser);
  EXPECT_EQ(warningText(shown[0]),
            "Plik \"" + currentPath +
                "b.html\" opisu badania nie istnieje.\nPrawdopodobnie usunięto dysk CD z "
                "komputera.");
  EXPECT_TRUE(shellCalls().empty());
}

TEST_F(DescriptionChooserTest, PressesWhileTheBrowserIsBuiltAreIgnored) {
  registerPdfReader();
  GtkWidget *tile = buildTileFor({"a.pdf", "b.pdf"});
  referenceBrowserBusy = true;
  EXPECT_EQ(pressTile(tile), nullptr);
  descriptionList.pop_back();
  pressTile(tile);
  EXPECT_TRUE(shellCalls().empty());
  referenceBrowserBusy = false;
  pressTile(tile);
  EXPECT_EQ(shellCalls().size(), 1u);
}

TEST_F(DescriptionChooserTest, FirstStudyIsReadFromTheMediumsDicomFilesWhenNotReadYet) {
  ASSERT_TRUE(writeDicomFile("DICOM/ST000001/SE000001/IM000001", {{DCM_PatientName, "Kowalska^Anna"},
                                                                  {DCM_PatientID, "75020254321"},
                                                                  {DCM_Modality, "MR"},
                                                                  {DCM_StudyDate, "20240301"},
                                                                  {DCM_StudyDescription, "Rezonans kolana"},
                                                                  {DCM_SeriesDescription, "T1"}}));
  ASSERT_TRUE(writeDicomFile("DICOM/ST000002/SE000001/IM000001",
                             {{DCM_PatientName, "Nowak^Jan"}, {DCM_StudyDescription, "Inne"}}));
  GtkWidget *chooser = pressTile(buildTileFor({"a.html", "b.html"}));
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(DicomFileIndex.size(), 2u);
  EXPECT_EQ(StudyMetadataIndex.size(), 2u);
  for (GtkWidget *column : columnsOf(chooser)) {
    GtkWidget *label = childrenOf(column).at(1);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "Kowalska^Anna\n[Rezonans kolana]");
    EXPECT_EQ(tooltipOf(label),
              "PACJENT:Kowalska^Anna\nPESEL: 75020254321\nMODALNOŚĆ: MR\nDATA BADANIA: 20240301\n"
              "OPIS BADANIA: Rezonans kolana");
  }
}

TEST_F(DescriptionChooserTest, WithoutStudyDataTheColumnsShowEmptyFields) {
  GtkWidget *chooser = pressTile(buildTileFor({"a.html", "b.html"}));
  ASSERT_NE(chooser, nullptr);
  for (GtkWidget *column : columnsOf(chooser)) {
    GtkWidget *label = childrenOf(column).at(1);
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "\n[]");
    EXPECT_EQ(tooltipOf(label), "PACJENT:\nPESEL: \nMODALNOŚĆ: \nDATA BADANIA: \nOPIS BADANIA: ");
  }
}

TEST_F(DescriptionChooserTest, LabelTextsAreCutAtCharacterBoundaries) {
  StudyMetadata record;
  record.patientName = "Wiśniewska^Zofś";         // "ś" straddles bytes 16 and 17
  record.studyDescription = "TK GŁOWY BEZ KŁĄB";  // so does "Ł"
  EXPECT_EQ(descriptionColumnLabel(record), "Wiśniewska^Zof...\n[TK GŁOWY BEZ K...]");
  // The first "ą" takes bytes 149 and 150 of the tooltip.
  std::string tooltip = descriptionRowTooltip(std::string(104, 'a') + "ąą.html");
  EXPECT_EQ(tooltip, " Kliknij by otworzyć opis badania z pliku \"" + std::string(104, 'a'));
}

}  // namespace
