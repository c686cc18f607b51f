// Cine playback: the play button runs the current series as a loop, one image
// every 66 ms, until it is pressed again or the browser is closed. The frames
// come from a timer on the main loop, so every widget call stays on the main
// thread with the toolkit's lock held. These are the actions of playback; the
// timer's frames reach showNextCineFrame through applyBrowserAction.
#pragma once

// Time between two frames, in milliseconds.
constexpr unsigned kCineFrameInterval = 66;

// The play button: starts playback of the current series from the position
// the steps before it reached, or stops it. While it runs, `frameDue` is
// called once per interval on the main loop, on a fixed schedule.
void togglePlayback(void (*frameDue)());

// One frame: the next image of the current series (wrapping round) becomes
// the shown one and is drawn at once. Its thumbnail becomes selectedThumbnail
// without being framed.
void showNextCineFrame();

// Ends playback as the play button's stop press does: the step buttons and
// the tree react again, the button shows its play picture, and the last frame
// stays on screen with its thumbnail framed and scrolled into view.
void stopCinePlayback();
