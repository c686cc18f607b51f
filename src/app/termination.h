// Ending the program on SIGINT, SIGTERM and SIGHUP at any point of its run:
// the handlers raise the quit request (base/quit_request.h) and wake the main
// loop, which then ends so that the normal shutdown removes the working
// directory. Where the system ends the process right after telling it (the
// end of a Windows session, a closed console), the directory goes at once. Long work on the main thread looks
// at the request itself.
#pragma once

// Installs the handlers. Called first thing at start-up, before the working
// directory exists, so that no signal can leave it behind.
void installTerminationHandlers();

// Main thread, once the toolkit is up: the main loop ends as soon as a quit
// is requested (at once when it already was), and input that comes after the
// request is dropped.
void endMainLoopOnQuitRequest();

// Raises the quit request and wakes the main loop. Async-signal-safe; callable
// from any thread.
void requestQuitAndWake();
