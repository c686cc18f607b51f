// Keys, wheel, drag and double click on a real browser: the state its button gives, no more.
#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/navigation.h"
#include "tree/branch_tree.h"
#include "ui/ui_state.h"

#include "support/browser_session.h"
#include "support/gui.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace testsupport;
using BrowserInputTest = BrowserSession;
using Snapshot = std::tuple<BrowserPosition, GtkWidget *, double, std::pair<int, int>, std::string>;

GtkWidget *picture() { return gtk_widget_get_parent(gtk_widget_get_parent(browser.imageView)); }

TEST_F(BrowserInputTest, EachKeyAndWheelTurnGivesTheStateOfItsButton) {
  auto snapshot = [] {
    return Snapshot{currentPosition(), browser.selectedThumbnail, browser.zoomFactor, shownSize(),
                    gtk_label_get_text(GTK_LABEL(browser.positionLabel))};
  };
  loadAccessibilityModule();
  openBrowser();
  click(browser.nextImageButton);
  click(browser.nextImageButton);
  EXPECT_EQ(accessibleName(browser.nextImageButton), "Wyświetl kolejny obraz w ramach serii (GailButton)");
  EXPECT_EQ(accessibleName(gtk_widget_get_parent(thumbnail(0, 1, 1))),
            "Obraz 2 z 2, Czołowa (VelmoraButtonAccessible)");
  EXPECT_EQ(accessibleName(browser.imageView),
            std::string(gtk_label_get_text(GTK_LABEL(browser.infoLabel))) + " (GailImage)");
  const std::pair<std::function<void()>, std::function<GtkWidget *()>> cases[] = {
      {[] { sendKey(browser.browserWindow, GDK_Left); }, [] { return browser.prevImageButton; }},
      {[] { sendKey(browser.browserWindow, GDK_Right); }, [] { return browser.nextImageButton; }},
      {[] { sendKey(browser.browserWindow, GDK_KP_Page_Down); }, [] { return browser.nextSeriesButton; }},
      {[] { sendKey(browser.browserWindow, GDK_plus, GDK_SHIFT_MASK); }, zoomInButton},
      {[] { sendKey(browser.browserWindow, GDK_KP_Subtract); }, zoomOutButton},
      {[] { sendScroll(picture(), GDK_SCROLL_UP, GDK_CONTROL_MASK); }, zoomInButton},
      {[] { sendScroll(picture(), GDK_SCROLL_DOWN, GDK_CONTROL_MASK); }, zoomOutButton},
      {[] { sendScroll(picture(), GDK_SCROLL_DOWN); }, [] { return browser.nextImageButton; }},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    Snapshot start = snapshot();
    cases[i].first();
    Snapshot byInput = snapshot();
    setCurrentPosition(std::get<0>(start));
    selectThumbnail(std::get<1>(start));
    browser.zoomFactor = std::get<2>(start);
    showCurrentImage();
    click(cases[i].second());
    EXPECT_TRUE(byInput == snapshot() && byInput != start) << "case " << i;
  }
  sendKey(browser.browserWindow, GDK_End);
  EXPECT_EQ(browser.currentImage, 1);
  sendKey(browser.browserWindow, GDK_Home);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(browser.positionLabel)), "Obraz 1 z 2 · 100%");
  // Keys follow the buttons: nothing steps during cine or a build, zoom still works.
  for (guint key : {GDK_space, GDK_Page_Down, GDK_KP_Add}) sendKey(browser.browserWindow, key);
  EXPECT_TRUE(browser.cinePlaying && browser.currentSeries == 1 && browser.zoomFactor == 1.2);
  sendKey(browser.browserWindow, GDK_KP_Space);
  referenceBrowserBusy = true;
  sendKey(browser.browserWindow, GDK_Page_Down);
  referenceBrowserBusy = false;
  EXPECT_TRUE(!browser.cinePlaying && browser.currentSeries == 1);
  // A thumbnail takes the focus and Enter shows it; Escape closes as the close button does.
  gtk_widget_grab_focus(gtk_widget_get_parent(thumbnail(0, 0, 2)));
  for (guint key : {GDK_Return, GDK_space, GDK_Escape}) sendKey(browser.browserWindow, key);
  EXPECT_EQ(browser.selectedThumbnail, thumbnail(0, 0, 2));
  EXPECT_FALSE(gtk_widget_get_visible(browser.browserWindow) || browser.cinePlaying);
}

GtkWidget *row(int study, int series = -1, int image = -1) {
  GtkWidget *branch = childBranch(*browser.browserTree, nullptr, study);
  for (int index : {series, image})
    branch = index < 0 ? branch : childBranch(*browser.browserTree, branch, index);
  return gtk_widget_get_parent(branchWidget(branch));
}
// 1 for a row read as one that opens, 2 for one read as open.
int readAs(GtkWidget *widget) {
  AtkStateSet *states = atk_object_ref_state_set(gtk_widget_get_accessible(widget));
  int read = atk_state_set_contains_state(states, ATK_STATE_EXPANDABLE) +
             atk_state_set_contains_state(states, ATK_STATE_EXPANDED);
  g_object_unref(states);
  return read;
}

TEST_F(BrowserInputTest, TheTreeIsWalkedWithArrowsAndTabAndReadAsButtonsThatOpen) {
  loadAccessibilityModule();
  openBrowser();
  gtk_widget_grab_focus(row(0));
  const std::tuple<guint, GtkWidget *, int> steps[] = {
      {GDK_Right, row(0), 2},    {GDK_Down, row(0, 0), 2},     {GDK_Left, row(0), 2},
      {GDK_KP_Left, row(0), 1},  {GDK_Down, row(1), 1},        {GDK_Up, row(0), 1},
      {GDK_Right, row(0), 2},    {GDK_Tab, row(0, 0), 2},      {GDK_KP_Down, row(0, 1), 2},
      {GDK_Right, row(0, 1), 2}, {GDK_Right, row(0, 1, 0), 2}, {GDK_Down, row(0, 1, 1), 2},
      {GDK_Down, row(1), 2},     {GDK_Up, row(0, 1, 1), 2},    {GDK_Tab, row(1), 2},
  };
  for (const auto &[key, focus, studyRead] : steps) {
    sendKey(browser.browserWindow, key);
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(browser.browserWindow)), focus) << gdk_keyval_name(key);
    EXPECT_EQ(readAs(row(0)), studyRead) << gdk_keyval_name(key);
  }
  // Every row is a push button whose one action presses it as the mouse does.
  AtkObject *button = gtk_widget_get_accessible(row(0, 1, 0));
  ASSERT_TRUE(ATK_IS_ACTION(button) && atk_object_get_role(button) == ATK_ROLE_PUSH_BUTTON);
  EXPECT_STREQ(atk_action_get_name(ATK_ACTION(button), 0), "click");
  EXPECT_TRUE(atk_action_do_action(ATK_ACTION(button), 0));
  EXPECT_TRUE(waitUntil([&] { return browser.selectedThumbnail == thumbnail(0, 1, 0); }));
  // ← and → on a picture stay the browser's steps.
  gtk_widget_grab_focus(row(0, 1, 1));
  sendKey(browser.browserWindow, GDK_Left);
  EXPECT_NE(browser.selectedThumbnail, thumbnail(0, 1, 0));
}

TEST_F(BrowserInputTest, ALargePictureScrollsAndPansAndDoubleClickFitsIt) {
  openBrowser({{"CT", "", {{"A", {{1600, 1400}, {1601, 1400}}}}}});
  click(browser.nextImageButton);
  GtkAdjustment *vertical = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(browser.imageScroller)),
                *horizontal = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(browser.imageScroller));
  ASSERT_TRUE(waitUntil([&] { return gtk_adjustment_get_upper(vertical) >= 1400; }));
  sendScroll(picture(), GDK_SCROLL_DOWN);
  EXPECT_GT(gtk_adjustment_get_value(vertical), 0);
  EXPECT_EQ(browser.currentImage, 0);
  double left = gtk_adjustment_get_value(horizontal), top = gtk_adjustment_get_value(vertical);
  sendButtonEvent(picture());
  sendDragMotion(picture(), -30, -20);
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(horizontal), left + 30);
  EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(vertical), top + 20);
  sendButtonEvent(picture(), GDK_2BUTTON_PRESS);
  auto fitted = shownSize();
  EXPECT_TRUE(fitted.first <= browser.imageScroller->allocation.width &&
              fitted.second == browser.imageScroller->allocation.height);
  sendButtonEvent(picture(), GDK_2BUTTON_PRESS);
  EXPECT_EQ(shownSize(), std::make_pair(1600, 1400));
  sendButtonEvent(picture(), GDK_2BUTTON_PRESS);
  sendKey(browser.browserWindow, GDK_plus);
  EXPECT_EQ(shownSize().second, static_cast<int>(fitted.second * 1.2));
}

}  // namespace
