// The browser's input: its buttons, keys, mouse wheel and drag, the image
// area's size and the pictures coming from the workers, each turned into an
// action of applyBrowserAction; and what a screen reader is told about the
// browser's controls and pictures. A key runs the action of the control it
// stands for, under the same conditions. Main thread only.
#pragma once

#include "browser/rules/key_map.h"

#include <gtk/gtk.h>

// Connects the keys, the wheel and the drag, and makes the tree's rows and
// thumbnails reachable and named. Called once the browser window is built.
void connectBrowserInput();

// Runs `action` as its control would, and only when that control is sensitive
// and no build is under way. Returns whether it ran.
bool performBrowserAction(BrowserAction action);

// ---- The control bar's "clicked" handlers ----

void onPlayToggled(GtkButton *button, gpointer data);
void onPrevSeries(GtkButton *button, gpointer data);
void onPrevImage(GtkButton *button, gpointer data);
void onNextImage(GtkButton *button, gpointer data);
void onNextSeries(GtkButton *button, gpointer data);
void onZoomIn(GtkButton *button, gpointer data);
void onZoomOut(GtkButton *button, gpointer data);
