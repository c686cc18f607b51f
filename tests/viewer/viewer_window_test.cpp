// The viewer's window under Xvfb: keys, the wheel and drags change the image,
// the zoom and the window as its help says, and the screen shows it.
#include "viewer/viewer_window.h"
#include "imaging/dicom_decoders.h"
#include "platform/glib_owners.h"
#include "support/gui.h"
#include "support/scratch_folder.h"
#include "support/viewer_images.h"
#include "viewer/viewer_keys.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

void motion(GtkWidget *widget, double x, double y, guint buttons) {
  GdkEvent *event = gdk_event_new(GDK_MOTION_NOTIFY);
  event->motion.window = GDK_WINDOW(g_object_ref(widget->window));
  event->motion.send_event = TRUE;
  event->motion.x = x;
  event->motion.y = y;
  event->motion.state = buttons;
  event->motion.device = gdk_device_get_core_pointer();
  gtk_main_do_event(event);
  gdk_event_free(event);
}

std::string labelOf(GtkWidget *window, const char *name) {
  return gtk_label_get_text(GTK_LABEL(findWidget(window, name)));
}

}  // namespace

TEST(ViewerWindow, KeysWheelAndDragsChangeImageZoomAndWindow) {
  DicomImageDecoders decoders;
  ScratchFolder medium;
  for (int series = 0; series < 2; ++series)
    for (int i = 1; i <= 5; ++i) {
      TestImage image;
      image.isSigned = true;
      image.intercept = -1024;
      image.window = "40\\400";
      image.seriesUid = "1.2.3.4." + std::to_string(series);
      image.instance = i;
      image.sliceLocation = i * 2.5;
      ASSERT_TRUE(writeTestImage(medium.path("S" + std::to_string(series) + "I" + std::to_string(i)), image));
    }
  // The window shows while its examination is read, and says so.
  GtkWidget *window = openViewerWindowWhileReading();
  GtkWidget *image = findWidget(window, "ImageView");
  EXPECT_NE(accessibleName(image).find("Wczytywanie badania…"), std::string::npos) << accessibleName(image);
  showExamination(window, openExamination({medium.root()}));
  ASSERT_TRUE(waitUntil([&] { return currentImageShown(window); }));
  // The first series' middle image comes first, with the file's window.
  EXPECT_EQ(labelOf(window, "ImagePosition"), "Obraz 3 z 5, położenie 7,5 mm");
  EXPECT_NE(accessibleName(image).find("Okno: C 40 / W 400"), std::string::npos);

  struct Step {
    const char *name;
    std::function<void()> input;
    const char *position;  // expected position line, or nullptr
    const char *spoken;    // expected in the picture's overlay text, or nullptr
  };
  const Step steps[] = {
      {"down arrow", [&] { sendKey(window, GDK_Down); }, "Obraz 4 z 5", nullptr},
      {"wheel up", [&] { sendScroll(image, GDK_SCROLL_UP); }, "Obraz 3 z 5", nullptr},
      {"End", [&] { sendKey(window, GDK_End); }, "Obraz 5 z 5", nullptr},
      {"Home", [&] { sendKey(window, GDK_Home); }, "Obraz 1 z 5", nullptr},
      {"1:1", [&] { sendKey(window, GDK_1); }, nullptr, "Powiększenie: 100%"},
      {"plus", [&] { sendKey(window, GDK_plus); }, nullptr, "Powiększenie: 125%"},
      {"Ctrl and wheel down", [&] { sendScroll(image, GDK_SCROLL_DOWN, GDK_CONTROL_MASK); }, nullptr,
       "Powiększenie: 100%"},
      {"right-button drag: wider and brighter",
       [&] {
         sendButtonEvent(image, GDK_BUTTON_PRESS, 3);
         motion(image, 11, 6, GDK_BUTTON3_MASK);
         sendButtonEvent(image, GDK_BUTTON_RELEASE, 3);
       },
       nullptr, "Okno: C 30 / W 420"},
      {"next preset", [&] { sendKey(window, GDK_w); }, nullptr, "Okno: C 40 / W 80"},
      {"Backspace", [&] { sendKey(window, GDK_BackSpace); }, "Obraz 1 z 5", "Okno: C 40 / W 400"},
      {"Shift+Right: a little wider", [&] { sendKey(window, GDK_Right, GDK_SHIFT_MASK); }, "Obraz 1 z 5",
       "Okno: C 40 / W 410"},
      {"Shift+Down: a little brighter", [&] { sendKey(window, GDK_Down, GDK_SHIFT_MASK); }, nullptr,
       "Okno: C 30 / W 410"},
      {"Page Down", [&] { sendKey(window, GDK_Page_Down); }, "Obraz 3 z 5", nullptr},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.name);
    step.input();
    ASSERT_TRUE(waitUntil([&] { return currentImageShown(window); }));
    drainEvents();
    if (step.position) {
      EXPECT_EQ(labelOf(window, "ImagePosition").find(step.position), 0u) << labelOf(window, "ImagePosition");
    }
    if (step.spoken) {
      EXPECT_NE(accessibleName(image).find(step.spoken), std::string::npos) << accessibleName(image);
    }
  }
  EXPECT_EQ(viewStateOf(window).series, 1u);
  // A left-button drag moves the picture; the value under the pointer shows in HU.
  sendButtonEvent(image, GDK_BUTTON_PRESS, 1);
  motion(image, 21, 1, GDK_BUTTON1_MASK);
  EXPECT_EQ(viewStateOf(window).panX, 20);
  sendKey(window, GDK_Left, GDK_CONTROL_MASK);
  EXPECT_EQ(viewStateOf(window).panX, 20 - kPanStep);
  motion(image, image->allocation.width / 2 + 20, image->allocation.height / 2, 0);
  EXPECT_NE(labelOf(window, "StatusLine").find(" HU"), std::string::npos) << labelOf(window, "StatusLine");
  // F1 opens the Polish help.
  sendKey(window, GDK_F1);
  EXPECT_TRUE(waitUntil([] { return findShownToplevel("ViewerHelp") != nullptr; }));
  gtk_widget_destroy(findShownToplevel("ViewerHelp"));
  gtk_widget_destroy(window);
}

TEST(ViewerWindow, TwoCellsCompareSeriesAndScrollLinkedBySlicePosition) {
  DicomImageDecoders decoders;
  ScratchFolder medium;
  // Slices 2.5 mm apart, 5 mm apart in the same frame of reference, and a
  // series of another.
  const struct {
    int count;
    double spacing;
    const char *frame;
  } kSeries[] = {{6, 2.5, "1.2.9"}, {3, 5, "1.2.9"}, {2, 5, "1.2.8"}};
  for (int series = 0; series < 3; ++series)
    for (int i = 0; i < kSeries[series].count; ++i) {
      TestImage image;
      image.seriesUid = "1.2.3.4." + std::to_string(series);
      image.instance = i + 1;
      image.frameOfReference = kSeries[series].frame;
      image.height = i * kSeries[series].spacing;
      ASSERT_TRUE(writeTestImage(medium.path("S" + std::to_string(series) + "I" + std::to_string(i)), image));
    }
  GtkWidget *window = openViewerWindow(openExamination({medium.root()}));
  GtkWidget *left = findWidget(window, "ImageView"), *right = findWidget(window, "ImageView2");
  ASSERT_TRUE(waitUntil([&] { return currentImageShown(window); }));
  EXPECT_FALSE(isShownOnScreen(right));
  // The layout control shows 1×2, the new cell empty with its hint.
  sendKey(window, GDK_l);
  GtkWidget *layout = findWidget(window, "Layout");
  EXPECT_EQ(accessibleName(layout).find("Układ"), 0u);
  EXPECT_STREQ(UniqueString(gtk_combo_box_get_active_text(GTK_COMBO_BOX(layout))).get(), "1×2");
  EXPECT_TRUE(isShownOnScreen(right));
  EXPECT_NE(accessibleName(right).find("Przeciągnij tu serię"), std::string::npos) << accessibleName(right);

  struct Step {
    const char *name;
    std::function<void()> input;
    const char *left, *right;  // the images each cell shows
    const char *status;        // expected in the status line, or nullptr
  };
  const Step steps[] = {
      {"the right cell chosen, the first series into it",
       [&] {
         sendButtonEvent(right, GDK_BUTTON_PRESS);
         sendButtonEvent(right, GDK_BUTTON_RELEASE);
         sendKey(window, GDK_Page_Down);
       },
       "Obraz 4 z 6", "Obraz 4 z 6", nullptr},
      {"the second series into it", [&] { sendKey(window, GDK_Page_Down); }, "Obraz 4 z 6", "Obraz 2 z 3",
       nullptr},
      {"linked: the left cell follows to 5 mm", [&] { clickButton(findWidget(window, "BtnLink")); },
       "Obraz 3 z 6", "Obraz 2 z 3", nullptr},
      {"linked step to 10 mm", [&] { sendKey(window, GDK_Down); }, "Obraz 5 z 6", "Obraz 3 z 3", nullptr},
      {"unlinked step", [&] { sendKey(window, GDK_s), sendKey(window, GDK_Home); }, "Obraz 5 z 6",
       "Obraz 1 z 3", "nie jest powiązane"},
      {"linked again: the left cell follows to 0 mm", [&] { sendKey(window, GDK_s); }, "Obraz 1 z 6",
       "Obraz 1 z 3", nullptr},
      {"another frame of reference never links",
       [&] { sendKey(window, GDK_Page_Down), sendKey(window, GDK_End); }, "Obraz 1 z 6", "Obraz 2 z 2",
       "różne układy odniesienia"},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.name);
    step.input();
    EXPECT_TRUE(waitUntil([&] {
      return currentImageShown(window, 0) && currentImageShown(window, 1) &&
             accessibleName(left).find(step.left) != std::string::npos &&
             accessibleName(right).find(step.right) != std::string::npos &&
             (!step.status || labelOf(window, "StatusLine").find(step.status) != std::string::npos);
    })) << accessibleName(left)
        << "\n"
        << accessibleName(right) << "\n"
        << labelOf(window, "StatusLine");
    EXPECT_EQ(activeCellOf(window), 1u);
  }
  gtk_widget_destroy(window);
}

TEST(ViewerKeys, EveryActionHasAKeyThatTheHelpNames) {
  const std::string help = viewerHelpText();
  for (int action = 0; action <= static_cast<int>(ViewAction::help); ++action) {
    bool named = false;
    for (const ViewerKey &key : viewerKeys())
      named |= static_cast<int>(key.action) == action && *key.description != '\0' &&
               help.find(std::string(key.keyName) + " – " + key.description) != std::string::npos;
    EXPECT_TRUE(named) << "action " << action;
  }
}
