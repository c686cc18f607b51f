// The browser's keys, mouse wheel and drag, and what a
// screen reader is told about the browser's controls and pictures. Every input
// here calls the handler of the control it stands for, under the same
// conditions. Main thread only.
#pragma once

#include "browser/rules/key_map.h"

#include <gtk/gtk.h>

// Connects the keys, the wheel and the drag, and makes the tree's rows and
// thumbnails reachable and named. Called once the browser window is built.
void connectBrowserInput();

// Runs `action` as its control would, and only when that control is sensitive
// and no build is under way. Returns whether it ran.
bool performBrowserAction(BrowserAction action);
