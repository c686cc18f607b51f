// A process-wide request to end the program, safe to raise from a signal
// handler. Long work on the main thread (start-up copies, the browser build,
// DICOM reading) looks at it and stops early; the main loop then ends.
#pragma once

// Raises the request. Async-signal-safe.
void requestQuit();

// Whether the program has been asked to end.
bool quitRequested();

// Withdraws the request, for a process that goes on after handling one (tests
// that build and close windows one after another).
void clearQuitRequest();
