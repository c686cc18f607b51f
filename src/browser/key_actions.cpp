// The browser's keys and mouse wheel as data.
#include "browser/key_actions.h"

#include <gdk/gdkkeysyms.h>
#include <glib.h>

#include <cmath>

const KeyBinding kBrowserKeys[] = {
    {GDK_Left, BrowserAction::PreviousImage},
    {GDK_KP_Left, BrowserAction::PreviousImage},
    {GDK_Right, BrowserAction::NextImage},
    {GDK_KP_Right, BrowserAction::NextImage},
    {GDK_Page_Up, BrowserAction::PreviousSeries},
    {GDK_KP_Page_Up, BrowserAction::PreviousSeries},
    {GDK_Page_Down, BrowserAction::NextSeries},
    {GDK_KP_Page_Down, BrowserAction::NextSeries},
    {GDK_Home, BrowserAction::FirstImage},
    {GDK_KP_Home, BrowserAction::FirstImage},
    {GDK_End, BrowserAction::LastImage},
    {GDK_KP_End, BrowserAction::LastImage},
    {GDK_plus, BrowserAction::ZoomIn},
    {GDK_equal, BrowserAction::ZoomIn},
    {GDK_KP_Add, BrowserAction::ZoomIn},
    {GDK_minus, BrowserAction::ZoomOut},
    {GDK_KP_Subtract, BrowserAction::ZoomOut},
    {GDK_space, BrowserAction::PlayStop},
    {GDK_KP_Space, BrowserAction::PlayStop},
    {GDK_Escape, BrowserAction::Close},
};
const size_t kBrowserKeyCount = G_N_ELEMENTS(kBrowserKeys);

namespace {

constexpr guint kCommandModifiers = GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK | GDK_META_MASK;

}  // namespace

BrowserAction browserActionForKey(guint keyval, guint modifiers) {
  if ((modifiers & kCommandModifiers) != 0) return BrowserAction::None;
  for (size_t i = 0; i < kBrowserKeyCount; ++i)
    if (kBrowserKeys[i].keyval == keyval) return kBrowserKeys[i].action;
  return BrowserAction::None;
}

BrowserAction browserActionForWheel(GdkScrollDirection direction, guint modifiers, bool largerThanView) {
  bool up = direction == GDK_SCROLL_UP;
  if (!up && direction != GDK_SCROLL_DOWN) return BrowserAction::None;
  if ((modifiers & GDK_CONTROL_MASK) != 0) return up ? BrowserAction::ZoomIn : BrowserAction::ZoomOut;
  if (largerThanView) return BrowserAction::None;
  return up ? BrowserAction::PreviousImage : BrowserAction::NextImage;
}

std::string positionText(int image, int count, double zoomFactor) {
  if (image < 0 || image >= count) return "";
  long percent = std::lround(zoomFactor * 100.0);
  return "Obraz " + std::to_string(image + 1) + " z " + std::to_string(count) + " · " +
         std::to_string(percent) + "%";
}
