// The load progress shown on the main window's bar while the browser's tree is
// built. Main thread only.
#pragma once

#include <string>

// loaded / total, kept within 0..1; 0 when nothing is to be loaded.
double loadProgressFraction(int loaded, int total);

// "Ładowanie obrazów: N%" with the fraction in whole percent.
std::string loadProgressText(double fraction);

// One progress step: shows loadedImageCount / totalImageCount on
// loadProgressBar, counts the entry, and runs every pending toolkit event.
// False when the build must end now: those events closed the main window, or
// the program was asked to end.
bool advanceLoadProgress();

// Whether a build under way must end at once: the program was asked to end
// (closing the main window asks it too). Nothing of the main window may be
// touched then.
bool loadMustEnd();
