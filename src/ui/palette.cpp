// The colours of the windows.
#include "ui/palette.h"

GdkColor colorBlack;
GdkColor colorDarkRed;
GdkColor colorGrey;
GdkColor colorWhite;

void parsePalette() {
  colorBlack = parsedColor("#000");
  colorDarkRed = parsedColor("#A00");
  colorGrey = parsedColor("#AAA");
  colorWhite = parsedColor("#FFF");
}

GdkColor parsedColor(const char *spec) {
  GdkColor color{};
  gdk_color_parse(spec, &color);
  return color;
}
