// The colours of the windows, parsed once at start-up.
#pragma once

#include <gtk/gtk.h>

// "#000", "#A00", "#AAA" and "#FFF".
extern GdkColor colorBlack;
extern GdkColor colorDarkRed;
extern GdkColor colorGrey;
extern GdkColor colorWhite;

// Parses the palette into the four colour records.
void parsePalette();
