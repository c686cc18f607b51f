// The browser's keys and mouse wheel as data: which input asks for which
// action. No widgets here; the window maps each action to the handler of the
// control it stands for.
#pragma once

#include <gdk/gdk.h>

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
};

struct KeyBinding {
  guint keyval;
  BrowserAction action;
};

// Every key the browser window answers, keypad keys included.
extern const KeyBinding kBrowserKeys[];
extern const size_t kBrowserKeyCount;

// The action of a key press. Keys held with Ctrl, Alt or Super are left to the
// toolkit (Shift is allowed: "+" needs it on most keyboards).
BrowserAction browserActionForKey(guint keyval, guint modifiers);

// The action of a wheel turn over the picture: with Ctrl it zooms by one step;
// without, it steps to the previous or next picture unless the picture is
// larger than the view in the wheel's direction, which the view then scrolls
// (None). Sideways turns always scroll.
BrowserAction browserActionForWheel(GdkScrollDirection direction, guint modifiers, bool largerThanView);

// "Obraz 5 z 24 · 120%" for the 0-based `image` of `count` at `zoomFactor`;
// empty when nothing is shown.
std::string positionText(int image, int count, double zoomFactor);
