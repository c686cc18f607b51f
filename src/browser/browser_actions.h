// The one way the reference-image browser's state changes. Every input (keys,
// the wheel, the buttons, thumbnail presses, cine frames, the drag, the image
// area's size, pictures coming from the workers) is turned into an action by
// its handler, which does nothing else; the action changes the state, then
// has the view draw it. Main thread only, with the toolkit's lock held.
#pragma once

#include "browser/rules/key_map.h"

#include <gtk/gtk.h>

// What an action acts on, for the actions that need more than their name.
struct ActionTarget {
  // ShowThumbnail: the thumbnail pressed.
  GtkWidget *thumbnail = nullptr;
  // DragPicture: the image area's scroll positions the drag asks for.
  double scrollX = 0;
  double scrollY = 0;
};

// Runs `action`. It does not ask whether its control is sensitive: the input
// that stands for a control asks that before (performBrowserAction). Close is
// not run here: the window's own input closes the window.
void applyBrowserAction(BrowserAction action, const ActionTarget &target = {});
