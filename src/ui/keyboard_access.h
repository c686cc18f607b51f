// Keyboard use and screen-reader names for the widgets that the design builds
// from event boxes and pictures. Main thread only.
#pragma once

#include "ui/mouse_press.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

// Lets the event box take the focus and answer Enter and Space with a single
// press of the first mouse button, so that its own press handler runs exactly
// as for the mouse. While it has the focus, and once a key has been used in
// any of the program's windows, a 2-pixel outline in `markColour` (a palette
// colour, which lives for the whole run) is drawn just inside its edge. A
// screen reader hears it as a push button (see button_accessible.h).
void makePressableByKeyboard(GtkWidget *eventBox, const GdkColor *markColour);

// Tab, Shift+Tab and the arrows go through `items` (focusable descendants of
// `row`, one in each of its children) in their order, whatever their places on
// screen are at the moment; the toolkit would sort them by their allocations,
// which a window still being laid out does not have yet.
void orderFocus(GtkWidget *row, const std::vector<GtkWidget *> &items);

// Every top-level window of the program gets this: the first key used shows
// the focus outlines from then on, and F1 opens the help window.
void watchKeysOf(GtkWidget *window);

// Whether a key has been used in one of the program's windows.
bool focusMarksShown();

// What a screen reader says for the widget; `description` may be empty.
void setAccessibleName(GtkWidget *widget, const std::string &name, const std::string &description = "");

// Sets the tooltip, and the tooltip without its surrounding blanks as the
// widget's accessible name.
void setTooltipAndName(GtkWidget *widget, const char *tooltip);
