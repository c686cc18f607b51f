// The controls cine playback changes, drawn from cinePlaying: the play
// button's picture and tooltip, and whether the step buttons and the tree
// react. Main thread only.
#pragma once

// While playback runs the play button shows its stop picture, and the steps
// and the tree, which could change the series under the playback, are
// insensitive; otherwise the play picture, and all of them react.
void showPlaybackControls();
