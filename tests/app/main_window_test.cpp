// The main window as a user meets it, and the tiles' hover pictures.
#include "app/main_window.h"
#include "base/tmp_directory.h"
#include "ui/tile_feedback.h"
#include "ui/ui_state.h"

#include "support/child_run.h"
#include "support/file_permissions.h"
#include "support/gui.h"
#include "support/scoped_medium.h"
#include "ui/palette.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include <functional>
#include <tuple>

namespace {

using namespace testsupport;

const char *const kTilePictures[] = {"opis_n.jpg",          "opis_a.jpg",     "obr_ref_n.jpg",
                                     "obr_ref_a.jpg",       "obr_diag_n.jpg", "obr_diag_a.jpg",
                                     "poweredbyvelmora.jpg"};

// A medium with distinct tile pictures, its working directory and the main window.
class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    int size = 40;
    for (const char *name : kTilePictures) medium_.writePicture(std::string("img/") + name, size++, 30);
  }
  void TearDown() override {
    if (mainWindow) gtk_widget_destroy(mainWindow);
    mainWindow = nullptr;
    referenceBrowserBusy = false;
    removeTmpDirectory();
  }
  GtkWidget *build() {
    testing::internal::CaptureStdout();
    createTmpDirectory();
    testing::internal::GetCapturedStdout();
    parsePalette();
    buildMainWindow();
    drainEvents();
    return mainWindow;
  }
  std::vector<std::string> tileNames() {
    std::vector<std::string> names;
    GtkWidget *outer = childrenOf(mainWindow).at(0);
    GtkWidget *tilesRow = childrenOf(outer).at(0);
    for (GtkWidget *eventBox : childrenOf(tilesRow))
      names.push_back(gtk_widget_get_name(childrenOf(eventBox).at(0)));
    return names;
  }
  ScopedMedium medium_;
};

TEST_F(MainWindowTest, HasTitleNameAndFixedSize) {
  build();
  EXPECT_STREQ(gtk_widget_get_name(mainWindow), "MainWindow");
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(mainWindow)), "Velmora-Brelantor");
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(mainWindow)));
  EXPECT_TRUE(gtk_window_get_decorated(GTK_WINDOW(mainWindow)));
  EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(mainWindow)), 10u);
  EXPECT_TRUE(gtk_widget_get_visible(mainWindow));
  GtkStyle *style = gtk_widget_get_style(mainWindow);
  EXPECT_EQ(style->bg[GTK_STATE_NORMAL].red, 0xffff);
}

TEST_F(MainWindowTest, ReferenceTileWithAnyKindOfRefimgEntry) {
  const std::vector<std::string> without{"ObrazDiag"}, with{"ObrazRef", "ObrazDiag"};
  const std::pair<std::function<void()>, std::vector<std::string>> kinds[] = {
      {[] {}, without},
      {[this] { medium_.makeDirectory("REFIMG"); }, with},
      {[this] { boost::filesystem::remove(medium_.path("REFIMG")), medium_.writeFile("REFIMG", ""); }, with},
      {[this] {
         boost::filesystem::remove(medium_.path("REFIMG"));
         boost::filesystem::create_symlink("nowhere", medium_.path("REFIMG"));
       },
       with}};
  for (const auto &[make, tiles] : kinds) {
    make();
    build();
    EXPECT_EQ(tileNames(), tiles);
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(mainWindow)), "Velmora-Brelantor");
    gtk_widget_destroy(mainWindow);
    mainWindow = nullptr;
    removeTmpDirectory();
  }
}

// Alignment (x, y, x-scale, y-scale) and packing (expand, fill, padding) of a status-row cell.
std::vector<double> cellLayout(GtkWidget *row, GtkWidget *cell) {
  gfloat x, y, xScale, yScale;
  g_object_get(cell, "xalign", &x, "yalign", &y, "xscale", &xScale, "yscale", &yScale, nullptr);
  gboolean expand, fill;
  guint padding;
  GtkPackType type;
  gtk_box_query_child_packing(GTK_BOX(row), cell, &expand, &fill, &padding, &type);
  return {x, y, xScale, yScale, double(expand), double(fill), double(padding), double(type)};
}

TEST_F(MainWindowTest, GeometryOfTheRowsAndTheBarsLookOnlyWithRefimg) {
  for (bool withRefimg : {false, true}) {
    if (withRefimg) medium_.makeDirectory("REFIMG");
    build();
    gint position = 0;
    g_object_get(mainWindow, "window-position", &position, nullptr);
    EXPECT_EQ(position, GTK_WIN_POS_CENTER);
    GtkWidget *outer = childrenOf(mainWindow).at(0);
    GtkWidget *statusRow = childrenOf(outer).at(1);
    EXPECT_EQ(std::make_tuple(gtk_box_get_spacing(GTK_BOX(outer)),
                              gtk_box_get_spacing(GTK_BOX(childrenOf(outer).at(0))),
                              gtk_box_get_spacing(GTK_BOX(statusRow))),
              std::make_tuple(10, 10, 2));
    int width = 0, height = 0;
    gtk_widget_get_size_request(statusRow, &width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(100, 18));
    std::vector<GtkWidget *> cells = childrenOf(statusRow);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cellLayout(statusRow, cells[0]), (std::vector<double>{0, 0.5, 1, 0, 1, 1, 1, GTK_PACK_START}));
    for (GtkWidget *cell : {cells[1], cells[2]})
      EXPECT_EQ(cellLayout(statusRow, cell), (std::vector<double>{1, 0.5, 0, 0, 0, 0, 0, GTK_PACK_START}));
    // The bar's colours and font only when there are reference pictures to load.
    GtkStyle *style = gtk_widget_get_style(loadProgressBar);
    EXPECT_EQ(style->bg[GTK_STATE_PRELIGHT].green == 0x9d9d, withRefimg);
    gchar *font = pango_font_description_to_string(style->font_desc);
    EXPECT_EQ(std::string(font) == "Tahoma 6", withRefimg) << font;
    g_free(font);
    gtk_widget_destroy(mainWindow);
    mainWindow = nullptr;
    removeTmpDirectory();
  }
}

TEST_F(MainWindowTest, StatusRowShowsOnlyThePoweredByPictureAfterStartUp) {
  medium_.makeDirectory("REFIMG");
  build();
  EXPECT_FALSE(gtk_widget_get_visible(loadProgressBar));
  EXPECT_FALSE(gtk_widget_get_visible(viewerSpinner));
  EXPECT_STREQ(gtk_widget_get_name(viewerSpinner), "Spinner Obrazow Diagnostycznych");
  EXPECT_STREQ(gtk_progress_bar_get_text(GTK_PROGRESS_BAR(loadProgressBar)), "Ładowanie obrazów: 0%");
  GtkWidget *statusRow = childrenOf(childrenOf(mainWindow).at(0)).at(1);
  std::vector<GtkWidget *> cells = childrenOf(statusRow);
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(childrenOf(cells[0]).at(0), loadProgressBar);
  EXPECT_EQ(childrenOf(cells[1]).at(0), viewerSpinner);
  GtkWidget *poweredBy = childrenOf(cells[2]).at(0);
  EXPECT_TRUE(isShownOnScreen(poweredBy));
  EXPECT_TRUE(imageShowsFile(poweredBy, tmpPath("/img/poweredbyvelmora.jpg")));
}

TEST_F(MainWindowTest, TilesShowTheirHighlightWhileThePointerIsOver) {
  medium_.makeDirectory("REFIMG");
  build();
  GtkWidget *refImage = findWidget(mainWindow, "ObrazRef");
  GtkWidget *diagImage = findWidget(mainWindow, "ObrazDiag");
  ASSERT_TRUE(refImage && diagImage);
  EXPECT_TRUE(imageShowsFile(refImage, tmpPath("/img/obr_ref_n.jpg")));

  sendCrossing(gtk_widget_get_parent(refImage), GDK_ENTER_NOTIFY);
  EXPECT_TRUE(imageShowsFile(refImage, tmpPath("/img/obr_ref_a.jpg")));
  EXPECT_TRUE(imageShowsFile(diagImage, tmpPath("/img/obr_diag_n.jpg")));
  sendCrossing(gtk_widget_get_parent(refImage), GDK_LEAVE_NOTIFY);
  EXPECT_TRUE(imageShowsFile(refImage, tmpPath("/img/obr_ref_n.jpg")));

  sendCrossing(gtk_widget_get_parent(diagImage), GDK_ENTER_NOTIFY);
  EXPECT_TRUE(imageShowsFile(diagImage, tmpPath("/img/obr_diag_a.jpg")));
}

TEST_F(MainWindowTest, WhileTheBrowserIsBuiltTilesStayNormalButAlwaysReturnToNormal) {
  build();
  GtkWidget *diagImage = findWidget(mainWindow, "ObrazDiag");
  GtkWidget *tile = gtk_widget_get_parent(diagImage);
  sendCrossing(tile, GDK_ENTER_NOTIFY);
  referenceBrowserBusy = true;
  sendCrossing(tile, GDK_LEAVE_NOTIFY);
  EXPECT_TRUE(imageShowsFile(diagImage, tmpPath("/img/obr_diag_n.jpg")));
  sendCrossing(tile, GDK_ENTER_NOTIFY);
  EXPECT_TRUE(imageShowsFile(diagImage, tmpPath("/img/obr_diag_n.jpg")));
}

TEST_F(MainWindowTest, ImagesWithOtherNamesAreLeftAlone) {
  build();
  GtkWidget *image = gtk_image_new_from_file(tmpPath("/img/opis_n.jpg").c_str());
  gtk_widget_set_name(image, "obrazdiag");
  onTileEnter(image, nullptr, nullptr);
  EXPECT_TRUE(imageShowsFile(image, tmpPath("/img/opis_n.jpg")));
  onTileLeave(image, nullptr, nullptr);
  EXPECT_TRUE(imageShowsFile(image, tmpPath("/img/opis_n.jpg")));
  gtk_widget_set_name(image, "ObrazOpis");
  onTileEnter(image, nullptr, nullptr);
  EXPECT_TRUE(imageShowsFile(image, tmpPath("/img/opis_a.jpg")));
  gtk_widget_destroy(image);
}

TEST_F(MainWindowTest, ReportIconShowsHandCursorAndMovesToTheTopOfItsCell) {
  build();
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWidget *alignment = gtk_alignment_new(0.5, 0.5, 0, 0);
  GtkWidget *eventBox = gtk_event_box_new();
  GtkWidget *icon = gtk_image_new_from_file(tmpPath("/img/opis_n.jpg").c_str());
  gtk_container_add(GTK_CONTAINER(eventBox), icon);
  gtk_container_add(GTK_CONTAINER(alignment), eventBox);
  gtk_container_add(GTK_CONTAINER(window), alignment);
  g_signal_connect_swapped(eventBox, "enter_notify_event", G_CALLBACK(onDescriptionIconEnter), icon);
  g_signal_connect_swapped(eventBox, "leave_notify_event", G_CALLBACK(onDescriptionIconLeave), icon);
  gtk_widget_show_all(window);
  drainEvents();

  sendCrossing(eventBox, GDK_ENTER_NOTIFY);
  GdkCursor *cursor = gdk_window_get_cursor(gtk_widget_get_window(eventBox));
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_HAND1);
  gfloat xalign, yalign;
  g_object_get(alignment, "xalign", &xalign, "yalign", &yalign, nullptr);
  EXPECT_FLOAT_EQ(xalign, 0.5f);
  EXPECT_FLOAT_EQ(yalign, 0.0f);

  sendCrossing(eventBox, GDK_LEAVE_NOTIFY);
  cursor = gdk_window_get_cursor(gtk_widget_get_window(eventBox));
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_ARROW);
  g_object_get(alignment, "yalign", &yalign, nullptr);
  EXPECT_FLOAT_EQ(yalign, 0.5f);
  gtk_widget_destroy(window);
}

// No working directory can be made (a read-only temporary folder): the tiles
// show the medium's own pictures, there is no report tile, and the trace says
// why. Run in a child process, since the temporary folder is read once per
// process.
TEST_F(MainWindowTest, WithoutAWorkingDirectoryTheTilesShowTheMediumsPictures) {
  if (childRunRole() != "unwritable") {
    medium_.makeDirectory("read-only");
    ASSERT_EQ(g_chmod(medium_.path("read-only").c_str(), 0500), 0);
    ChildResult child =
        runTestInChild("MainWindowTest.WithoutAWorkingDirectoryTheTilesShowTheMediumsPictures", "unwritable",
                       {{"TMPDIR", medium_.path("read-only")}, {"XDG_RUNTIME_DIR", ""}});
    EXPECT_EQ(child.exitStatus, 0) << child.output;
    return;
  }
  medium_.writeFile("descrlist.js", "[\"opis.html\"]");
  medium_.writeFile("opis.html", "opis");
  testing::internal::CaptureStdout();
  {
    ScopedPermissionChecks permissions;
    createTmpDirectory();
  }
  std::string traced = testing::internal::GetCapturedStdout();
  parsePalette();
  buildMainWindow();
  drainEvents();

  EXPECT_FALSE(tmpDirectoryUsable());
  EXPECT_NE(traced.find("opisy badań są niedostępne"), std::string::npos) << traced;
  EXPECT_EQ(tileNames(), std::vector<std::string>({"ObrazDiag"}));
  // The pointer may rest on the only tile: its highlight is the medium's too.
  GtkWidget *diagnostic = findWidget(mainWindow, "ObrazDiag");
  EXPECT_TRUE(imageShowsFile(diagnostic, medium_.path("img/obr_diag_n.jpg")) ||
              imageShowsFile(diagnostic, medium_.path("img/obr_diag_a.jpg")));
}

}  // namespace
