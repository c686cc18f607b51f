// The reference-image browser's state.
#include "browser/browser_state.h"

BrowserState browser;
