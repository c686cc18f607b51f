// Pointer feedback on the main window's tiles and the chooser's report icons.
#include "ui/tile_feedback.h"

#include "base/tmp_directory.h"
#include "ui/ui_state.h"

#include <cstring>

namespace {

struct TilePictures {
  const char *imageName;
  const char *hovered;
  const char *normal;
};

constexpr TilePictures kTiles[] = {
    {"ObrazOpis", "/img/opis_a.jpg", "/img/opis_n.jpg"},
    {"ObrazRef", "/img/obr_ref_a.jpg", "/img/obr_ref_n.jpg"},
    {"ObrazDiag", "/img/obr_diag_a.jpg", "/img/obr_diag_n.jpg"},
};

const TilePictures *picturesOf(GtkWidget *image) {
  const char *name = gtk_widget_get_name(image);
  for (const TilePictures &tile : kTiles)
    if (std::strcmp(name, tile.imageName) == 0) return &tile;
  return nullptr;
}

void setCursor(GtkWidget *eventBox, GdkCursorType type) {
  GdkWindow *window = gtk_widget_get_window(eventBox);
  if (window == nullptr) return;
  GdkCursor *cursor = gdk_cursor_new(type);
  gdk_window_set_cursor(window, cursor);
  gdk_cursor_unref(cursor);
}

void realignIconCell(GtkWidget *icon, gfloat yalign) {
  GtkWidget *eventBox = gtk_widget_get_parent(icon);
  GtkWidget *alignment = eventBox ? gtk_widget_get_parent(eventBox) : nullptr;
  if (alignment != nullptr && GTK_IS_ALIGNMENT(alignment))
    gtk_alignment_set(GTK_ALIGNMENT(alignment), 0.5, yalign, 0.0, 0.0);
}

}  // namespace

// ---- Main-window tiles ----

gboolean onTileEnter(GtkWidget *image, GdkEventCrossing *, GtkWidget *) {
  if (referenceBrowserBusy) return FALSE;
  if (const TilePictures *tile = picturesOf(image))
    gtk_image_set_from_file(GTK_IMAGE(image), picturePath(tile->hovered).c_str());
  return FALSE;
}

// Does not look at referenceBrowserBusy: a highlighted tile always returns to normal.
gboolean onTileLeave(GtkWidget *image, GdkEventCrossing *, GtkWidget *) {
  if (const TilePictures *tile = picturesOf(image))
    gtk_image_set_from_file(GTK_IMAGE(image), picturePath(tile->normal).c_str());
  return FALSE;
}

// ---- Chooser report icons ----

gboolean onDescriptionIconEnter(GtkWidget *icon, GdkEventCrossing *, GtkWidget *eventBox) {
  setCursor(eventBox, GDK_HAND1);
  realignIconCell(icon, 0.0);
  return FALSE;
}

gboolean onDescriptionIconLeave(GtkWidget *icon, GdkEventCrossing *, GtkWidget *eventBox) {
  setCursor(eventBox, GDK_ARROW);
  realignIconCell(icon, 0.5);
  return FALSE;
}
