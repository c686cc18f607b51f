// Pointer handlers of the thumbnails in the browser's tree.
#include "browser/thumbnail_handlers.h"

#include "browser/browser_state.h"
#include "browser/image_view.h"
#include "browser/thumbnail_index.h"
#include "catalogue/reference_catalogue.h"
#include "ui/palette.h"

namespace {

// Sets the position to where `thumbnail` stands in ThumbnailIndex; a thumbnail
// that is not there leaves the position as it was.
void takePositionOf(GtkWidget *thumbnail) {
  for (const auto &study : ThumbnailIndex)
    for (const auto &series : study.second)
      for (size_t position = 0; position < series.second.size(); ++position)
        if (series.second[position] == thumbnail) {
          browser.currentStudy = study.first;
          browser.currentSeries = series.first;
          browser.currentImage = static_cast<int>(position);
          return;
        }
}

}  // namespace

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
  takePositionOf(thumbnail);
  if (thumbnail == browser.selectedThumbnail) return FALSE;
  selectThumbnail(thumbnail);
  showCurrentImage();
  return FALSE;
}
