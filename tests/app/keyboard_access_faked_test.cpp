// The main window, the chooser and the help window with the keyboard alone,
// and what a screen reader is told about them.
#include "app/main_window.h"
#include "ui/help_window.h"
#include "ui/keyboard_access.h"

#include "descriptions/descriptions_fixture.h"

#include <gdk/gdkkeysyms.h>

namespace {

using namespace testsupport;

using KeyboardAccessTest = DescriptionsTest;

GtkWidget *focus(GtkWidget *window) { return gtk_window_get_focus(GTK_WINDOW(window)); }
GtkWidget *tile(const char *name) { return gtk_widget_get_parent(findWidget(mainWindow, name)); }

TEST_F(KeyboardAccessTest, TilesChooserAndHelpWorkFromTheKeyboardAndAreNamed) {
  loadAccessibilityModule();
  for (const char *report : {"a.html", "b.pdf"}) medium_.writeFile(report, "<p>opis</p>");
  medium_.writeFile("descrlist.js", "[\"a.html\",\"b.pdf\"]");
  registerPdfReader();
  startRun();
  buildMainWindow();
  // Tab follows the tiles' places on screen: they must be laid out first.
  ASSERT_TRUE(waitUntil([] {
    return gtk_widget_is_drawable(tile("ObrazDiag")) &&
           tile("ObrazDiag")->allocation.x > tile("ObrazOpis")->allocation.x;
  }));
  EXPECT_TRUE(focus(mainWindow) == nullptr && !focusMarksShown());  // no focus mark before a key is used
  guint keys[] = {GDK_Tab, GDK_Tab, GDK_ISO_Left_Tab, GDK_Right, GDK_Left};
  for (size_t i = 0; i < std::size(keys); ++i) {
    sendKey(mainWindow, keys[i], i == 2 ? GDK_SHIFT_MASK : 0);
    EXPECT_EQ(focus(mainWindow), tile(i % 2 == 0 ? "ObrazOpis" : "ObrazDiag")) << i;
  }
  EXPECT_TRUE(focusMarksShown());
  EXPECT_EQ(accessibleName(tile("ObrazDiag")), "Obrazy diagnostyczne (VelmoraButtonAccessible)");
  EXPECT_EQ(tooltipOf(tile("ObrazOpis")), "Otwiera opis badania zapisany na płycie.");
  referenceBrowserBusy = true;  // ignored as a press is
  sendKey(mainWindow, GDK_Return);
  EXPECT_EQ(descriptionChooserWindow, nullptr);
  referenceBrowserBusy = false;
  sendKey(mainWindow, GDK_space);
  GtkWidget *chooser = descriptionChooserWindow;
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(focus(chooser), findWidget(chooser, "a.html"));
  // Arrows move between columns that are on screen and laid out.
  ASSERT_TRUE(waitUntil([&] {
    GtkWidget *second = findWidget(chooser, "b.pdf");
    return gtk_widget_is_drawable(second) && second->allocation.x > 0;
  }));
  sendKey(chooser, GDK_Right);
  EXPECT_EQ(accessibleName(focus(chooser)), "b.pdf, dokument PDF (VelmoraButtonAccessible)");
  sendKey(chooser, GDK_KP_Enter);
  EXPECT_EQ(shellCalls().at(0).file, "b.pdf");
  // Back in the chooser, the column pressed keeps the focus and the arrows go on from it.
  EXPECT_EQ(focus(chooser), findWidget(chooser, "b.pdf"));
  sendKey(chooser, GDK_Left);
  EXPECT_EQ(focus(chooser), findWidget(chooser, "a.html"));
  sendKey(chooser, GDK_Escape);
  EXPECT_EQ(descriptionChooserWindow, nullptr);
  // A tile is a push button whose one action presses it.
  AtkObject *button = gtk_widget_get_accessible(tile("ObrazOpis"));
  ASSERT_TRUE(ATK_IS_ACTION(button) && atk_object_get_role(button) == ATK_ROLE_PUSH_BUTTON);
  EXPECT_TRUE(atk_action_do_action(ATK_ACTION(button), 0));
  ASSERT_TRUE(waitUntil([] { return descriptionChooserWindow != nullptr; }));
  sendKey(descriptionChooserWindow, GDK_Escape);
  sendKey(mainWindow, GDK_F1);
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(findWidget(helpWindow, "PomocTekst"))), kHelpText);
  // The help text has the focus, for a screen reader to read; Tab goes on to the button.
  EXPECT_EQ(focus(helpWindow), findWidget(helpWindow, "PomocTekst"));
  sendKey(helpWindow, GDK_Tab);
  EXPECT_TRUE(GTK_IS_BUTTON(focus(helpWindow)));
  sendKey(helpWindow, GDK_Escape);
  EXPECT_EQ(helpWindow, nullptr);
}

}  // namespace
