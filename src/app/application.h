// The program's start-up, main loop and shutdown.
#pragma once

// Sets up the toolkit's thread support with the lock every handler and worker
// takes. Call once, before the toolkit is initialised.
void initToolkitThreads();

// Runs the navigator; returns the process's exit code (always 0).
int runApplication(int argc, char **argv);
