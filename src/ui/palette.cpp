// The colours of the windows.
#include "ui/palette.h"

GdkColor colorBlack;
GdkColor colorDarkRed;
GdkColor colorGrey;
GdkColor colorWhite;

void parsePalette() {
  gdk_color_parse("#000", &colorBlack);
  gdk_color_parse("#A00", &colorDarkRed);
  gdk_color_parse("#AAA", &colorGrey);
  gdk_color_parse("#FFF", &colorWhite);
}
