// Process-wide state of the reference-image browser.
#include "browser/browser_state.h"

bool referenceBrowserBusy = false;
