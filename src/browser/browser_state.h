// Process-wide state of the reference-image browser.
#pragma once

// A browser build is under way (raised for the whole build, lowered at its end
// whatever the outcome). Tiles, the chooser and the diagnostic tile ignore
// presses while it is raised. Main thread only.
extern bool referenceBrowserBusy;
