// Cine playback: the play button runs the current series as a loop, one image
// every 66 ms, until it is pressed again or the browser is closed. The frames
// come from a timer on the main loop, so every widget call stays on the main
// thread with the toolkit's lock held.
#pragma once

#include <gtk/gtk.h>

// Time between two frames, in milliseconds.
constexpr unsigned kCineFrameInterval = 66;

// One frame: the next image of the current series (wrapping round) becomes
// the shown one and is drawn at once. Its thumbnail becomes selectedThumbnail
// without being framed. Run by the playback timer.
void showNextCineFrame();

// Ends playback as the play button's stop press does: the step buttons and
// the tree react again, the button shows its play picture, and the last frame
// stays on screen with its thumbnail framed and scrolled into view.
void stopCinePlayback();

// ---- Play button handler ----

void onPlayToggled(GtkButton *button, gpointer data);
