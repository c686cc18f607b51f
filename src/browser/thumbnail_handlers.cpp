// Pointer handlers of the thumbnails in the browser's tree: hovering changes
// only the frame's colour, a press is the action of showing the thumbnail.
#include "browser/thumbnail_handlers.h"

#include "browser/browser_actions.h"
#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "ui/palette.h"

// ---- Thumbnail frame handlers ----

gboolean onThumbnailEnter(GtkWidget *thumbnail, GdkEventCrossing *, GtkWidget *) {
  if (thumbnail != browser.selectedThumbnail) setThumbnailFrameColour(thumbnail, colorGrey);
  return FALSE;
}

gboolean onThumbnailLeave(GtkWidget *thumbnail, GdkEventCrossing *, GtkWidget *) {
  setThumbnailFrameColour(thumbnail,
                          thumbnail == browser.selectedThumbnail ? parsedColor("#f00") : colorBlack);
  return FALSE;
}

gboolean onThumbnailPressed(GtkWidget *thumbnail, GdkEventButton *, GtkWidget *) {
  ActionTarget target;
  target.thumbnail = thumbnail;
  applyBrowserAction(BrowserAction::ShowThumbnail, target);
  return FALSE;
}
