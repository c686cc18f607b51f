// The browser's keys and mouse wheel as data: which input asks for which
// action, and the position label's text. No widgets here; the window maps each
// action to the handler of the control it stands for.
#pragma once

#include <cstddef>
#include <string>

enum class BrowserAction {
  None,
  PreviousImage,
  NextImage,
  PreviousSeries,
  NextSeries,
  FirstImage,
  LastImage,
  ZoomIn,
  ZoomOut,
  FitOrActualSize,
  PlayStop,
  Close,
  // Actions of the browser's other input: a thumbnail pressed, a cine frame
  // due, playback stopped as the window closes, the picture dragged, the image
  // area resized under a fitted picture, a full picture decoded.
  ShowThumbnail,
  CineFrame,
  StopPlayback,
  DragPicture,
  RefitToView,
  FullPictureArrived,
};

// Key codes and modifier bits as the X protocol numbers them, which is what the
// toolkit's key events carry on every system; the window checks at compile
// time that its toolkit agrees.
namespace keycode {
constexpr unsigned kSpace = 0x020, kPlus = 0x02b, kMinus = 0x02d, kEqual = 0x03d;
constexpr unsigned kEscape = 0xff1b, kHome = 0xff50, kLeft = 0xff51, kRight = 0xff53;
constexpr unsigned kPageUp = 0xff55, kPageDown = 0xff56, kEnd = 0xff57;
constexpr unsigned kKeypadSpace = 0xff80, kKeypadHome = 0xff95, kKeypadLeft = 0xff96, kKeypadRight = 0xff98;
constexpr unsigned kKeypadPageUp = 0xff9a, kKeypadPageDown = 0xff9b, kKeypadEnd = 0xff9c;
constexpr unsigned kKeypadAdd = 0xffab, kKeypadSubtract = 0xffad;
}  // namespace keycode
namespace modifier {
constexpr unsigned kShift = 1u << 0, kControl = 1u << 2, kAlt = 1u << 3, kSuper = 1u << 26, kMeta = 1u << 28;
// Keys held with these are commands for the toolkit, not for the browser.
constexpr unsigned kCommand = kControl | kAlt | kSuper | kMeta;
}  // namespace modifier

struct KeyBinding {
  unsigned keyval;
  BrowserAction action;
};

// Every key the browser window answers, keypad keys included.
extern const KeyBinding kBrowserKeys[];
extern const size_t kBrowserKeyCount;

// The action of a key press. Keys held with Ctrl, Alt or Super are left to the
// toolkit (Shift is allowed: "+" needs it on most keyboards).
BrowserAction browserActionForKey(unsigned keyval, unsigned modifiers);

enum class WheelTurn { Up, Down, Sideways };

// The action of a wheel turn over the picture: with Ctrl it zooms by one step;
// without, it steps to the previous or next picture unless the picture is
// larger than the view in the wheel's direction, which the view then scrolls
// (None). Sideways turns always scroll.
BrowserAction browserActionForWheel(WheelTurn turn, unsigned modifiers, bool largerThanView);

// "Obraz 5 z 24 · 120%" for the 0-based `image` of `count` at `zoomFactor`;
// empty when nothing is shown.
std::string positionText(int image, int count, double zoomFactor);
