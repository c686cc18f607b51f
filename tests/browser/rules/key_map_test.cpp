// The browser's key map and wheel rule, without a display.
#include "browser/rules/key_map.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using A = BrowserAction;
using namespace keycode;
using modifier::kControl;
using modifier::kShift;

TEST(KeyActionsTest, KeysAndWheelTurnsAskForTheActionsOfTheControls) {
  using Key = std::tuple<unsigned, unsigned, A>;
  for (auto [keyval, modifiers, expected] :
       {Key{kLeft, 0, A::PreviousImage}, Key{kKeypadPageDown, 0, A::NextSeries}, Key{kHome, 0, A::FirstImage},
        Key{kKeypadEnd, 0, A::LastImage}, Key{kPlus, kShift, A::ZoomIn}, Key{kMinus, 0, A::ZoomOut},
        Key{kSpace, 0, A::PlayStop}, Key{kEscape, 0, A::Close}, Key{kRight, kControl, A::None},
        Key{0xff0d, 0, A::None}})
    EXPECT_EQ(browserActionForKey(keyval, modifiers), expected) << std::hex << keyval;
  EXPECT_EQ(browserActionForWheel(WheelTurn::Up, kControl, true), A::ZoomIn);
  EXPECT_EQ(browserActionForWheel(WheelTurn::Down, 0, false), A::NextImage);
  EXPECT_EQ(browserActionForWheel(WheelTurn::Down, 0, true), A::None);  // the view scrolls
  EXPECT_EQ(browserActionForWheel(WheelTurn::Sideways, 0, false), A::None);
  EXPECT_EQ(positionText(4, 24, 1.2), "Obraz 5 z 24 · 120%");
}

}  // namespace
