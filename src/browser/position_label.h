// The control bar's "Obraz 5 z 24 · 120%" label and the name a screen reader
// gives the large picture: drawn from the position, never acted on. Main
// thread only.
#pragma once

#include <gtk/gtk.h>

// The control bar's free space: an alignment holding positionLabel.
GtkWidget *buildPositionLabel();

// Brings positionLabel and the picture's accessible name up to date; the label
// is empty while `pictureShown` is false.
void showPositionLabel(bool pictureShown);
