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

// The colour record of a colour text such as "#4e9dc6" or "#fff"; black when
// the text is not a colour.
GdkColor parsedColor(const char *spec);
