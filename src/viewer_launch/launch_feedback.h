// What the user sees of a viewer launch: the status row's spinner, and a
// warning when the program could not be started.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Title and text of the warning shown when a program could not be started.
extern const char *const kProgramNotStartedTitle;
std::string programNotStartedText(const std::string &program);

// Worker threads; each takes the toolkit's lock for its widget calls.
// Starts viewerSpinner and shows it: the program is about to be started.
void startLaunchSpinner();
// Redraws the turning spinner at once. False when there is no spinner any
// more: the main window was closed and the program is ending.
bool redrawLaunchSpinner();
// The splash window was found: stops and hides the spinner and lowers viewerLaunching.
void finishLaunch();
// The shell refused to start `program`: has the main loop stop and hide the
// spinner, lower viewerLaunching and warn the user.
void reportProgramNotStarted(const std::string &program);

// Main thread: the warning dialog about `program`, shown and destroyed on any response.
GtkWidget *showProgramNotStartedWarning(const std::string &program);
