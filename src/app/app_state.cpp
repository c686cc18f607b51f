// Process-wide state of the application shell.
#include "app/app_state.h"

std::string currentPath;

GdkColor colorBlack;
GdkColor colorDarkRed;
GdkColor colorGrey;
GdkColor colorWhite;

GtkWidget *mainWindow = nullptr;
GtkWidget *loadProgressBar = nullptr;
GtkWidget *viewerSpinner = nullptr;

void parsePalette() {
  gdk_color_parse("#000", &colorBlack);
  gdk_color_parse("#A00", &colorDarkRed);
  gdk_color_parse("#AAA", &colorGrey);
  gdk_color_parse("#FFF", &colorWhite);
}
