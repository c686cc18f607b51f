// The browser's keys and mouse wheel as data.
#include "browser/rules/key_map.h"

#include <cmath>
#include <iterator>

const KeyBinding kBrowserKeys[] = {
    {keycode::kLeft, BrowserAction::PreviousImage},
    {keycode::kKeypadLeft, BrowserAction::PreviousImage},
    {keycode::kRight, BrowserAction::NextImage},
    {keycode::kKeypadRight, BrowserAction::NextImage},
    {keycode::kPageUp, BrowserAction::PreviousSeries},
    {keycode::kKeypadPageUp, BrowserAction::PreviousSeries},
    {keycode::kPageDown, BrowserAction::NextSeries},
    {keycode::kKeypadPageDown, BrowserAction::NextSeries},
    {keycode::kHome, BrowserAction::FirstImage},
    {keycode::kKeypadHome, BrowserAction::FirstImage},
    {keycode::kEnd, BrowserAction::LastImage},
    {keycode::kKeypadEnd, BrowserAction::LastImage},
    {keycode::kPlus, BrowserAction::ZoomIn},
    {keycode::kEqual, BrowserAction::ZoomIn},
    {keycode::kKeypadAdd, BrowserAction::ZoomIn},
    {keycode::kMinus, BrowserAction::ZoomOut},
    {keycode::kKeypadSubtract, BrowserAction::ZoomOut},
    {keycode::kSpace, BrowserAction::PlayStop},
    {keycode::kKeypadSpace, BrowserAction::PlayStop},
    {keycode::kEscape, BrowserAction::Close},
};
const size_t kBrowserKeyCount = std::size(kBrowserKeys);

BrowserAction browserActionForKey(unsigned keyval, unsigned modifiers) {
  if ((modifiers & modifier::kCommand) != 0) return BrowserAction::None;
  for (const KeyBinding &binding : kBrowserKeys)
    if (binding.keyval == keyval) return binding.action;
  return BrowserAction::None;
}

BrowserAction browserActionForWheel(WheelTurn turn, unsigned modifiers, bool largerThanView) {
  if (turn == WheelTurn::Sideways) return BrowserAction::None;
  bool up = turn == WheelTurn::Up;
  if ((modifiers & modifier::kControl) != 0) return up ? BrowserAction::ZoomIn : BrowserAction::ZoomOut;
  if (largerThanView) return BrowserAction::None;
  return up ? BrowserAction::PreviousImage : BrowserAction::NextImage;
}

std::string positionText(int image, int count, double zoomFactor) {
  if (image < 0 || image >= count) return "";
  long percent = std::lround(zoomFactor * 100.0);
  return "Obraz " + std::to_string(image + 1) + " z " + std::to_string(count) + " · " +
         std::to_string(percent) + "%";
}
