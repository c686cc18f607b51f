// The browser's key map and wheel rule, without widgets.
#include "browser/key_actions.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

namespace {

using A = BrowserAction;

TEST(KeyActionsTest, KeysAndWheelTurnsAskForTheActionsOfTheControls) {
  using Key = std::tuple<guint, guint, A>;
  for (auto [keyval, modifiers, expected] :
       {Key{GDK_Left, 0, A::PreviousImage}, Key{GDK_KP_Page_Down, 0, A::NextSeries},
        Key{GDK_Home, 0, A::FirstImage}, Key{GDK_KP_End, 0, A::LastImage},
        Key{GDK_plus, GDK_SHIFT_MASK, A::ZoomIn}, Key{GDK_minus, 0, A::ZoomOut},
        Key{GDK_space, 0, A::PlayStop}, Key{GDK_Escape, 0, A::Close},
        Key{GDK_Right, GDK_CONTROL_MASK, A::None}, Key{GDK_Return, 0, A::None}})
    EXPECT_EQ(browserActionForKey(keyval, modifiers), expected) << gdk_keyval_name(keyval);
  EXPECT_EQ(browserActionForWheel(GDK_SCROLL_UP, GDK_CONTROL_MASK, true), A::ZoomIn);
  EXPECT_EQ(browserActionForWheel(GDK_SCROLL_DOWN, 0, false), A::NextImage);
  EXPECT_EQ(browserActionForWheel(GDK_SCROLL_DOWN, 0, true), A::None);  // the view scrolls
  EXPECT_EQ(browserActionForWheel(GDK_SCROLL_LEFT, 0, false), A::None);
  EXPECT_EQ(positionText(4, 24, 1.2), "Obraz 5 z 24 · 120%");
}

}  // namespace
