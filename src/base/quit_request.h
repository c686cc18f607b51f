// A process-wide request to end the program, safe to raise from a signal
// handler. Long work on the main thread (start-up copies, the browser build,
// DICOM reading) looks at it and stops early; the main loop then ends.
#pragma once

// Raises the request. Async-signal-safe; never lowered again.
void requestQuit();

// Whether the program has been asked to end.
bool quitRequested();
