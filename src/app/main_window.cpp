// The main window: the row of tiles above the status row.
#include "app/main_window.h"

#include "base/quit_request.h"
#include "base/tmp_directory.h"
#include "browser/browser_window.h"
#include "descriptions/description_list.h"
#include "descriptions/descriptions_tile.h"
#include "platform/directories.h"
#include "ui/keyboard_access.h"
#include "ui/palette.h"
#include "ui/tile_feedback.h"
#include "ui/ui_state.h"
#include "viewer_launch/viewer_launch.h"

#include <glib.h>

#include <cstring>
#include <vector>

namespace {

// An event box around a named image; its crossing signals go to the tile feedback.
GtkWidget *buildTile(GtkWidget *tilesRow, const char *imageName, const char *picture) {
  GtkWidget *eventBox = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(tilesRow), eventBox);
  GtkWidget *image = gtk_image_new_from_file(picturePath(picture).c_str());
  gtk_widget_set_name(image, imageName);
  gtk_container_add(GTK_CONTAINER(eventBox), image);
  g_signal_connect_swapped(eventBox, "enter_notify_event", G_CALLBACK(onTileEnter), image);
  g_signal_connect_swapped(eventBox, "leave_notify_event", G_CALLBACK(onTileLeave), image);
  return eventBox;
}

// The status-row globals are read by the browser build between two entries and
// by the viewer watch thread (under the toolkit's lock): once their widget is
// destroyed they read null, never a freed widget.
void clearWhenDestroyed(GtkWidget *&global) {
  g_signal_connect(
      global, "destroy",
      G_CALLBACK(+[](GtkWidget *, gpointer slot) { *static_cast<GtkWidget **>(slot) = nullptr; }), &global);
}

// What each tile says to keyboard and screen-reader users.
struct TileWords {
  const char *imageName;
  const char *caption;
  const char *tooltip;
};

const TileWords kTileWords[] = {
    {"ObrazOpis", "Opis badania", "Otwiera opis badania zapisany na płycie."},
    {"ObrazRef", "Obrazy referencyjne", "Otwiera przeglądarkę obrazów referencyjnych z płyty."},
    {"ObrazDiag", "Obrazy diagnostyczne",
     "Uruchamia z płyty osobny program do oglądania obrazów diagnostycznych."},
};

// Every tile takes the focus in the row's order and opens with Enter or Space
// through its own press handler.
void makeTilesKeyboardReachable(GtkWidget *tilesRow) {
  std::vector<GtkWidget *> reachable;
  GList *tiles = gtk_container_get_children(GTK_CONTAINER(tilesRow));
  for (GList *item = tiles; item != nullptr; item = item->next) {
    GtkWidget *eventBox = GTK_WIDGET(item->data);
    GtkWidget *image = GTK_IS_BIN(eventBox) ? gtk_bin_get_child(GTK_BIN(eventBox)) : nullptr;
    if (image == nullptr) continue;
    for (const TileWords &words : kTileWords) {
      if (std::strcmp(gtk_widget_get_name(image), words.imageName) != 0) continue;
      makePressableByKeyboard(eventBox, &colorDarkRed);
      // Named and described before the tooltip is set (see setTooltipAndName).
      setAccessibleName(eventBox, words.caption, words.tooltip);
      gtk_widget_set_tooltip_text(eventBox, words.tooltip);
      setAccessibleName(image, words.caption);
      reachable.push_back(eventBox);
    }
  }
  g_list_free(tiles);
  orderFocus(tilesRow, reachable);
}

void styleProgressBar(GtkWidget *bar) {
  GdkColor filled = parsedColor("#4e9dc6");
  GdkColor white = parsedColor("#fff");
  gtk_widget_modify_bg(bar, GTK_STATE_PRELIGHT, &filled);
  gtk_widget_modify_bg(bar, GTK_STATE_NORMAL, &white);
  PangoFontDescription *font = pango_font_description_from_string("Tahoma 6.0");
  gtk_widget_modify_font(bar, font);
  pango_font_description_free(font);
}

}  // namespace

GtkWidget *buildMainWindow() {
  mainWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(mainWindow, "MainWindow");
  gtk_window_set_title(GTK_WINDOW(mainWindow), "Velmora-Brelantor");
  gtk_window_set_position(GTK_WINDOW(mainWindow), GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(mainWindow), FALSE);
  gtk_window_set_decorated(GTK_WINDOW(mainWindow), TRUE);
  gtk_widget_add_events(mainWindow, GDK_BUTTON_PRESS_MASK);
  gtk_container_set_border_width(GTK_CONTAINER(mainWindow), 10);

  GtkWidget *outerBox = gtk_vbox_new(FALSE, 10);
  gtk_container_add(GTK_CONTAINER(mainWindow), outerBox);
  GtkWidget *tilesRow = gtk_hbox_new(FALSE, 10);
  gtk_container_add(GTK_CONTAINER(outerBox), tilesRow);
  GtkWidget *statusRow = gtk_hbox_new(FALSE, 2);
  gtk_widget_set_size_request(statusRow, 100, 18);
  gtk_container_add(GTK_CONTAINER(outerBox), statusRow);
  buildDescriptionsTile(tilesRow);

  loadProgressBar = gtk_progress_bar_new();

  // Any kind of entry counts, a link that leads nowhere too: a press then
  // tells the user that the pictures cannot be read.
  platform::EntryStatus refimg;
  if (platform::entryStatus("REFIMG", platform::Links::notFollowed, refimg)) {
    GtkWidget *referenceTile = buildTile(tilesRow, "ObrazRef", "/img/obr_ref_n.jpg");
    g_signal_connect(referenceTile, "button_press_event", G_CALLBACK(openReferenceBrowser),
                     gtk_bin_get_child(GTK_BIN(referenceTile)));
    styleProgressBar(loadProgressBar);
  }

  GtkWidget *progressAlignment = gtk_alignment_new(0.0, 0.5, 1.0, 0.0);
  gtk_progress_bar_set_text(GTK_PROGRESS_BAR(loadProgressBar), "Ładowanie obrazów: 0%");
  gtk_container_add(GTK_CONTAINER(progressAlignment), loadProgressBar);
  gtk_box_pack_start(GTK_BOX(statusRow), progressAlignment, TRUE, TRUE, 1);

  GtkWidget *diagnosticTile = buildTile(tilesRow, "ObrazDiag", "/img/obr_diag_n.jpg");
  g_signal_connect(diagnosticTile, "button_press_event", G_CALLBACK(onDiagnosticTileClicked), nullptr);

  GtkWidget *spinnerAlignment = gtk_alignment_new(1.0, 0.5, 0.0, 0.0);
  viewerSpinner = gtk_spinner_new();
  gtk_widget_set_name(viewerSpinner, "Spinner Obrazow Diagnostycznych");
  gtk_widget_set_size_request(viewerSpinner, 18, 18);
  gtk_container_add(GTK_CONTAINER(spinnerAlignment), viewerSpinner);
  gtk_box_pack_start(GTK_BOX(statusRow), spinnerAlignment, FALSE, FALSE, 0);

  GtkWidget *poweredByAlignment = gtk_alignment_new(1.0, 0.5, 0.0, 0.0);
  GtkWidget *poweredBy = gtk_image_new_from_file(picturePath("/img/poweredbyvelmora.jpg").c_str());
  gtk_container_add(GTK_CONTAINER(poweredByAlignment), poweredBy);
  gtk_box_pack_start(GTK_BOX(statusRow), poweredByAlignment, FALSE, FALSE, 0);

  g_signal_connect(mainWindow, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  // Closing the main window ends the program: work under way in a handler (a
  // browser build, a viewer watch) ends at its next step.
  g_signal_connect(mainWindow, "destroy", G_CALLBACK(+[](GtkWidget *, gpointer) { requestQuit(); }), nullptr);
  for (GtkWidget **global : {&loadProgressBar, &viewerSpinner, &mainWindow}) clearWhenDestroyed(*global);

  makeTilesKeyboardReachable(tilesRow);
  watchKeysOf(mainWindow);

  gtk_widget_show_all(mainWindow);
  // The window first looks as the design draws it: no tile has the focus
  // until a key gives it one.
  gtk_window_set_focus(GTK_WINDOW(mainWindow), nullptr);
  gtk_widget_hide(loadProgressBar);
  gtk_widget_hide(viewerSpinner);
  GdkColor white = parsedColor("#fff");
  gtk_widget_modify_bg(mainWindow, GTK_STATE_NORMAL, &white);
  return mainWindow;
}
