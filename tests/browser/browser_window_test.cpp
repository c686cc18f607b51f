// The browser window as a user meets it: built by a press on the tile, hidden
// by closing, shown again by the next press; the warning when nothing loads.
#include "browser/browser_window.h"

#include "base/tmp_directory.h"
#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "tree/branch_tree.h"
#include "ui/ui_state.h"

#include "support/browser_session.h"
#include "support/gui.h"
#include "support/stacking.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

std::string colourOf(const GdkColor &c) {
  char text[16];
  g_snprintf(text, sizeof text, "#%02x%02x%02x", c.red >> 8, c.green >> 8, c.blue >> 8);
  return text;
}

std::string background(GtkWidget *widget) {
  return colourOf(gtk_widget_get_style(widget)->bg[GTK_STATE_NORMAL]);
}

std::string tooltipOf(GtkWidget *widget) {
  gchar *text = gtk_widget_get_tooltip_text(widget);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

struct Packing {
  bool expand, fill;
  guint padding;
  bool operator==(const Packing &o) const {
    return expand == o.expand && fill == o.fill && padding == o.padding;
  }
};

Packing packingOf(GtkWidget *box, GtkWidget *child) {
  gboolean expand, fill;
  guint padding;
  GtkPackType type;
  gtk_box_query_child_packing(GTK_BOX(box), child, &expand, &fill, &padding, &type);
  return {expand != FALSE, fill != FALSE, padding};
}

std::vector<GtkWidget *> warningDialogs() { return messageDialogsTitled("Obrazy referencyjne"); }

int browserWindowCount() {
  return static_cast<int>(windowsTitled("Przeglądarka obrazów referencyjnych").size());
}

// Puts a button event for the tile into the toolkit's queue, to be handled by
// whatever runs the main loop next.
void queueTileEvent(GtkWidget *tile, GdkEventType type) {
  gtk_widget_realize(tile);
  GdkEvent *event = gdk_event_new(type);
  event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(tile)));
  event->button.send_event = TRUE;
  event->button.time = GDK_CURRENT_TIME;
  event->button.button = 1;
  event->button.device = gdk_device_get_core_pointer();
  gdk_event_put(event);
  gdk_event_free(event);
}

using BrowserWindowTest = BrowserSession;

// A fraction of the progress bar as the user sees it, with whether the bar was on screen.
struct ProgressSeen {
  double fraction;
  bool shown;
};

void recordProgress(GObject *bar, GParamSpec *, gpointer data) {
  static_cast<std::vector<ProgressSeen> *>(data)->push_back(
      {gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar)), isShownOnScreen(GTK_WIDGET(bar)) != FALSE});
}

TEST_F(BrowserWindowTest, TheProgressBarIsShownAndAdvancesDuringARealBuild) {
  makeMedium(sampleStudies());
  std::vector<ProgressSeen> seen;
  gulong handler = g_signal_connect(loadProgressBar, "notify::fraction", G_CALLBACK(recordProgress), &seen);
  pressTile();
  g_signal_handler_disconnect(loadProgressBar, handler);
  ASSERT_GE(seen.size(), 9u);
  EXPECT_DOUBLE_EQ(seen.front().fraction, 0.0);
  EXPECT_DOUBLE_EQ(seen.back().fraction, 8.0 / 9.0);
  // The bar is set to 0 just before it is shown; every step after is on screen.
  for (size_t i = 1; i < seen.size(); ++i) {
    EXPECT_TRUE(seen[i].shown) << i;
    EXPECT_GE(seen[i].fraction, seen[i - 1].fraction) << i;
  }
  EXPECT_FALSE(gtk_widget_get_visible(loadProgressBar));
}

TEST_F(BrowserWindowTest, ATilePressRaisesTheBrowserFromBehindOtherWindows) {
  openBrowser();
  GtkWidget *cover = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(cover), 1200, 800);
  gtk_widget_show(cover);
  gtk_window_present(GTK_WINDOW(cover));
  EXPECT_TRUE(waitUntil([&] { return stackingPosition(cover) > stackingPosition(browser.browserWindow); }));
  pressTile();
  EXPECT_TRUE(waitUntil([&] { return stackingPosition(browser.browserWindow) > stackingPosition(cover); }));
  EXPECT_EQ(browserWindowCount(), 1);
  gtk_widget_destroy(cover);
}

TEST_F(BrowserWindowTest, WindowShowsTheTreeTheInformationStripTheImageAreaAndTheControlBar) {
  openBrowser();
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(browser.browserWindow)),
               "Przeglądarka obrazów referencyjnych");
  EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(browser.browserWindow)), 5u);
  int width, height;
  gtk_widget_get_size_request(browser.browserWindow, &width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(1000, 600));
  EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(browser.browserWindow)));
  EXPECT_NE(background(browser.browserWindow), "#000000");  // the theme's colour around the black parts
  EXPECT_FALSE(loadProgressBar != nullptr && gtk_widget_get_visible(loadProgressBar));

  GtkWidget *pane = gtk_bin_get_child(GTK_BIN(browser.browserWindow));
  ASSERT_TRUE(GTK_IS_HPANED(pane));
  EXPECT_EQ(gtk_paned_get_position(GTK_PANED(pane)), 190);
  EXPECT_EQ(gtk_paned_get_child1(GTK_PANED(pane)), browser.treeScroller);
  GtkPolicyType horizontal, vertical;
  gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(browser.treeScroller), &horizontal, &vertical);
  EXPECT_EQ(horizontal, GTK_POLICY_AUTOMATIC);
  EXPECT_EQ(vertical, GTK_POLICY_ALWAYS);
  GtkWidget *treeViewport = gtk_bin_get_child(GTK_BIN(browser.treeScroller));
  ASSERT_TRUE(GTK_IS_VIEWPORT(treeViewport));
  GtkWidget *treeRoot = gtk_bin_get_child(GTK_BIN(treeViewport));
  EXPECT_EQ(background(treeRoot), "#000000");
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(treeRoot)), browser.browserTree->rootBox);
  EXPECT_STREQ(gtk_widget_get_name(browser.browserTree->rootBox), "MAIN TREE VBOX");

  GtkWidget *rightColumn = gtk_paned_get_child2(GTK_PANED(pane));
  std::vector<GtkWidget *> column = childrenOf(rightColumn);
  ASSERT_EQ(column.size(), 2u);
  EXPECT_EQ(packingOf(rightColumn, column[0]), (Packing{true, true, 0}));
  EXPECT_EQ(packingOf(rightColumn, column[1]), (Packing{false, false, 0}));

  std::vector<GtkWidget *> info = childrenOf(column[0]);
  ASSERT_EQ(info.size(), 2u);
  EXPECT_EQ(packingOf(column[0], info[0]), (Packing{false, false, 0}));
  EXPECT_EQ(packingOf(column[0], info[1]), (Packing{true, true, 0}));
  GtkWidget *strip = info[0];
  EXPECT_EQ(background(strip), "#000000");
  GtkWidget *inset = gtk_bin_get_child(GTK_BIN(strip));
  guint top, bottom, left, right;
  gtk_alignment_get_padding(GTK_ALIGNMENT(inset), &top, &bottom, &left, &right);
  EXPECT_EQ((std::vector<guint>{top, bottom, left, right}), (std::vector<guint>{3, 1, 3, 1}));
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(inset)), browser.infoLabel);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(browser.infoLabel)), "");
  EXPECT_EQ(colourOf(gtk_widget_get_style(browser.infoLabel)->fg[GTK_STATE_NORMAL]), "#ffffff");

  EXPECT_EQ(info[1], browser.imageScroller);
  gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(browser.imageScroller), &horizontal, &vertical);
  EXPECT_EQ(horizontal, GTK_POLICY_AUTOMATIC);
  EXPECT_EQ(vertical, GTK_POLICY_AUTOMATIC);
  gtk_widget_get_size_request(browser.imageScroller, &width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(512, 512));
  EXPECT_EQ(gtk_scrolled_window_get_shadow_type(GTK_SCROLLED_WINDOW(browser.imageScroller)), GTK_SHADOW_NONE);
  EXPECT_EQ(gtk_container_get_border_width(GTK_CONTAINER(browser.imageScroller)), 0u);
  GtkWidget *imageViewport = gtk_bin_get_child(GTK_BIN(browser.imageScroller));
  ASSERT_TRUE(GTK_IS_VIEWPORT(imageViewport));
  EXPECT_EQ(gtk_viewport_get_shadow_type(GTK_VIEWPORT(imageViewport)), GTK_SHADOW_NONE);
  GtkWidget *backdrop = gtk_bin_get_child(GTK_BIN(imageViewport));
  EXPECT_EQ(background(backdrop), "#000000");
  GtkWidget *centring = gtk_bin_get_child(GTK_BIN(backdrop));
  gfloat xalign, yalign, xscale, yscale;
  g_object_get(centring, "xalign", &xalign, "yalign", &yalign, "xscale", &xscale, "yscale", &yscale, nullptr);
  EXPECT_EQ((std::vector<float>{xalign, yalign, xscale, yscale}), (std::vector<float>{0.5f, 0.5f, 0, 0}));
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(centring)), browser.imageView);
  EXPECT_EQ(viewedPictureSize(), std::make_pair(0, 0));
  GtkAllocation area;
  gtk_widget_get_allocation(browser.imageScroller, &area);
  EXPECT_GE(area.width, 512);
  EXPECT_GE(area.height, 512);

  GtkWidget *bar = column[1];
  EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(bar)), 2);
  std::vector<GtkWidget *> slots = childrenOf(bar);
  ASSERT_EQ(slots.size(), 8u);
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(slots[5])), browser.positionLabel);  // the free space
  EXPECT_EQ(packingOf(bar, slots[5]), (Packing{true, true, 0}));
  struct Expected {
    size_t slot;
    const char *picture;
    int width;
    const char *name;
    GtkWidget *global;
    const char *tooltip;
  } expected[] = {
      {0, "/img/play.png", 30, "BtnPlay", browser.playButton, " Rozpocznij odtwarzanie serii "},
      {1, "/img/prevprev.png", 38, "GtkButton", browser.prevSeriesButton, " Przejdź do poprzedniej serii "},
      {2, "/img/prev.png", 30, "GtkButton", browser.prevImageButton,
       " Wyświetl poprzedni obraz w ramach serii "},
      {3, "/img/next.png", 30, "GtkButton", browser.nextImageButton,
       " Wyświetl kolejny obraz w ramach serii "},
      {4, "/img/nextnext.png", 38, "GtkButton", browser.nextSeriesButton, " Przejdź do kolejnej serii "},
      {6, "/img/zoom_in.png", 30, "GtkButton", nullptr, " Powiększ obraz "},
      {7, "/img/zoom_out.png", 30, "GtkButton", nullptr, " Zmniejsz obraz "},
  };
  for (const Expected &e : expected) {
    SCOPED_TRACE(e.picture);
    EXPECT_EQ(packingOf(bar, slots[e.slot]), (Packing{false, false, 0}));
    GtkWidget *button = gtk_bin_get_child(GTK_BIN(slots[e.slot]));
    ASSERT_TRUE(GTK_IS_BUTTON(button));
    if (e.global != nullptr) {
      EXPECT_EQ(button, e.global);
    }
    EXPECT_STREQ(gtk_widget_get_name(button), e.name);
    EXPECT_EQ(tooltipOf(button), e.tooltip);
    gtk_widget_get_size_request(button, &width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(e.width, 24));
    EXPECT_EQ(gtk_button_get_relief(GTK_BUTTON(button)), GTK_RELIEF_NONE);
    EXPECT_EQ(gtk_widget_get_style(button)->xthickness, 0);
    EXPECT_EQ(gtk_widget_get_style(button)->ythickness, 0);
    EXPECT_TRUE(imageShowsFile(gtk_button_get_image(GTK_BUTTON(button)), tmpPath(e.picture)));
    EXPECT_TRUE(gtk_widget_get_mapped(button));
  }
  // The frame-less style stays the button's own.
  EXPECT_GT(gtk_widget_get_style(browser.treeScroller)->xthickness + gtk_widget_get_style(bar)->xthickness,
            0);
}

TEST_F(BrowserWindowTest, ClosingHidesAndTheNextPressShowsTheSameTreeSelectionAndZoom) {
  openBrowser();
  GtkWidget *window = browser.browserWindow;
  GtkWidget *root = browser.browserTree->rootBox;
  GtkWidget *picked = thumbnail(1, 0, 2);
  expandPathTo(picked);
  sendButtonEvent(gtk_widget_get_parent(picked));
  click(zoomInButton());
  ASSERT_EQ(browser.selectedThumbnail, picked);
  std::pair<int, int> zoomed = shownSize();
  EXPECT_EQ(zoomed, std::make_pair(146, 108));  // 122 x 90 at 1.2

  sendDeleteEvent(browser.browserWindow);
  EXPECT_EQ(browser.browserWindow, window);
  EXPECT_FALSE(gtk_widget_get_visible(browser.browserWindow));

  pressTile();
  ASSERT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
  EXPECT_EQ(browser.browserWindow, window);
  EXPECT_EQ(browser.browserTree->rootBox, root);
  EXPECT_EQ(browserWindowCount(), 1);
  EXPECT_EQ(browser.selectedThumbnail, picked);
  EXPECT_EQ(frameColour(picked), "#aa0000");
  EXPECT_EQ(shownSize(), zoomed);
  EXPECT_DOUBLE_EQ(browser.zoomFactor, 1.2);
  EXPECT_EQ(currentPosition(), (BrowserPosition{1, 0, 2}));
}

TEST_F(BrowserWindowTest, ADoublePressOnTheTileBuildsOnce) {
  makeMedium(sampleStudies());
  for (GdkEventType type : {GDK_2BUTTON_PRESS, GDK_3BUTTON_PRESS}) {
    pressTile(type);
    EXPECT_EQ(browser.browserWindow, nullptr);
    EXPECT_TRUE(ThumbnailIndex.empty());
    EXPECT_EQ(totalImageCount, 0);
  }
  // A quick double click: press, release, press, double press, release.
  for (GdkEventType type :
       {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE, GDK_BUTTON_PRESS, GDK_2BUTTON_PRESS, GDK_BUTTON_RELEASE})
    queueTileEvent(tile(), type);
  testing::internal::CaptureStdout();
  drainEvents();
  testing::internal::GetCapturedStdout();
  ASSERT_NE(browser.browserWindow, nullptr);
  EXPECT_EQ(browserWindowCount(), 1);
  EXPECT_EQ(totalImageCount, 9);
  EXPECT_EQ(loadedImageCount, 9);  // one load of the nine pictures
}

struct PressRecord {
  GtkWidget *tile;
  std::vector<bool> busyAtPress;
};

gboolean recordTilePress(GSignalInvocationHint *, guint, const GValue *values, gpointer data) {
  auto *record = static_cast<PressRecord *>(data);
  if (g_value_get_object(&values[0]) == record->tile) record->busyAtPress.push_back(referenceBrowserBusy);
  return TRUE;
}

TEST_F(BrowserWindowTest, APressDuringTheBuildDoesNothing) {
  makeMedium(sampleStudies());
  PressRecord record{tile(), {}};
  guint signal = g_signal_lookup("button-press-event", GTK_TYPE_WIDGET);
  gulong hook = g_signal_add_emission_hook(signal, 0, recordTilePress, &record, nullptr);
  // The second press waits in the queue; the build runs it while it loads.
  queueTileEvent(tile(), GDK_BUTTON_PRESS);
  pressTile();
  g_signal_remove_emission_hook(signal, hook);

  EXPECT_EQ(record.busyAtPress, (std::vector<bool>{false, true}));
  EXPECT_FALSE(referenceBrowserBusy);
  EXPECT_EQ(browserWindowCount(), 1);
  EXPECT_EQ(loadedImageCount, 9);
}

TEST_F(BrowserWindowTest, AFailedBuildWarnsResetsTheCountersAndTheNextPressTriesAgain) {
  // Pictures without DICOM data: nothing can be labelled, so nothing is built.
  makeMedium({});
  medium_.writePicture("REFIMG/ST001/SE001/IM001.png", 64, 64);
  medium_.writePicture("REFIMG/ST001/SE001/IM002.png", 64, 64);

  pressTile();
  EXPECT_EQ(browser.browserWindow, nullptr);
  EXPECT_EQ(browser.browserTree, nullptr);
  EXPECT_EQ(browser.treeScroller, nullptr);
  EXPECT_FALSE(referenceBrowserBusy);
  EXPECT_EQ(totalImageCount, 0);
  EXPECT_EQ(loadedImageCount, 0);
  EXPECT_FALSE(gtk_widget_get_visible(loadProgressBar));
  std::vector<GtkWidget *> dialogs = warningDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  GtkWidget *dialog = dialogs[0];
  EXPECT_TRUE(gtk_widget_get_visible(dialog));
  EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), nullptr);
  EXPECT_TRUE(gtk_window_get_destroy_with_parent(GTK_WINDOW(dialog)));
  EXPECT_FALSE(gtk_window_get_modal(GTK_WINDOW(dialog)));
  GtkMessageType type;
  GtkWindowPosition position;
  gchar *text = nullptr;
  g_object_get(dialog, "message-type", &type, "text", &text, "window-position", &position, nullptr);
  EXPECT_EQ(type, GTK_MESSAGE_WARNING);
  EXPECT_EQ(position, GTK_WIN_POS_CENTER);
  EXPECT_STREQ(
      text,
      "Otworzenie obrazu referencyjnego nie powidło się. Prawdopodobnie wyciągnięto płytę CD z napędu "
      "lub są problemy z jej odczytem. Sprawdź czy płyta CD znajduje się w napędzie i spróbuj ponownie.");
  g_free(text);
  std::vector<GtkWidget *> buttons = childrenOf(gtk_dialog_get_action_area(GTK_DIALOG(dialog)));
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(buttons[0])), GTK_STOCK_OK);

  // Each failed attempt adds a dialog of its own.
  pressTile();
  EXPECT_EQ(warningDialogs().size(), 2u);
  clickButton(buttons[0]);
  EXPECT_EQ(warningDialogs().size(), 1u);

  // With the medium readable again, the next press builds the browser.
  writeSeriesRecord("DICOM/ST001/SE001/IM000001", "CT", "Głowa", "Osiowa");
  pressTile();
  ASSERT_NE(browser.browserWindow, nullptr);
  EXPECT_TRUE(waitUntil([] { return gtk_widget_get_mapped(browser.browserWindow); }));
  EXPECT_EQ(ThumbnailIndex.at(0).at(0).size(), 2u);
  EXPECT_EQ(warningDialogs().size(), 1u);
}

}  // namespace
