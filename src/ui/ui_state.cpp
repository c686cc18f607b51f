// Process-wide state the windows share.
#include "ui/ui_state.h"

GtkWidget *mainWindow = nullptr;
GtkWidget *loadProgressBar = nullptr;
GtkWidget *viewerSpinner = nullptr;

bool referenceBrowserBusy = false;
std::atomic<bool> viewerLaunching{false};
