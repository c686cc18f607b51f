// The browser's large picture, information line and selection frame, drawn
// from the state.
#include "browser/image_view.h"

#include "base/text.h"
#include "browser/browser_state.h"
#include "browser/current_position.h"
#include "browser/full_pictures.h"
#include "browser/rules/information_line.h"
#include "browser/rules/zoom_rules.h"
#include "catalogue/reference_catalogue.h"
#include "platform/glib_owners.h"
#include "ui/palette.h"

#include <pango/pango.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

StudyMetadata currentRecord() {
  auto study = StudyMetadataIndex.find(browser.currentStudy);
  if (study == StudyMetadataIndex.end()) return StudyMetadata();
  auto series = study->second.find(browser.currentSeries);
  if (series == study->second.end() || series->second.empty()) return StudyMetadata();
  return series->second.front();
}

// Parses the markup first: a line that does not parse is left as it was.
void setInformationLine(const std::string &markup) {
  PangoAttrList *rawAttributes = nullptr;
  gchar *rawText = nullptr;
  if (!pango_parse_markup(markup.c_str(), -1, 0, &rawAttributes, &rawText, nullptr, nullptr)) return;
  std::unique_ptr<PangoAttrList, decltype(&pango_attr_list_unref)> attributes(rawAttributes,
                                                                              pango_attr_list_unref);
  UniqueString text(rawText);
  gtk_label_set_text(GTK_LABEL(browser.infoLabel), text.get());
  gtk_label_set_attributes(GTK_LABEL(browser.infoLabel), attributes.get());
}

// What the view shows, and who is told when it changes.
struct ShownPicture {
  // The full picture the view shows, scaled to the view's size request as it
  // is drawn.
  PixbufPtr viewedPicture;
  std::function<void()> pictureShownObserver;
  // The thumbnail the view shows the picture of, and whether its own small
  // picture stands in for the full one (not decoded yet, or unreadable).
  GtkWidget *viewedThumbnail = nullptr;
  bool viewShowsStandIn = false;
  bool noteShown = false;
  // The thumbnail whose frame was last drawn selected; weak, so a tree taken
  // down takes it along.
  GtkWidget *framedThumbnail = nullptr;
};
// Process-wide: the view's expose callback and the arrival of pictures reach it without data.
ShownPicture shown;

// Draws the exposed part of the shown picture, scaled from the full picture
// straight into a piece of the exposed size, with the same arithmetic as
// scaling the whole picture: a frame costs the same at every zoom.
gboolean drawVisiblePart(GtkWidget *view, GdkEventExpose *event, gpointer) {
  if (!shown.viewedPicture) return FALSE;
  GdkPixbuf *full = shown.viewedPicture.get();
  int width = 0, height = 0;
  gtk_widget_get_size_request(view, &width, &height);
  GtkAllocation allocation;
  gtk_widget_get_allocation(view, &allocation);
  // Centred in its allocation, as the image widget places a picture.
  GdkRectangle picture{allocation.x + std::max(0, allocation.width - width) / 2,
                       allocation.y + std::max(0, allocation.height - height) / 2, width, height};
  double scaleX = static_cast<double>(width) / gdk_pixbuf_get_width(full);
  double scaleY = static_cast<double>(height) / gdk_pixbuf_get_height(full);
  GdkRectangle *rectangles = nullptr;
  gint count = 0;
  gdk_region_get_rectangles(event->region, &rectangles, &count);
  for (gint i = 0; i < count; ++i) {
    GdkRectangle part;
    if (!gdk_rectangle_intersect(&rectangles[i], &picture, &part)) continue;
    PixbufPtr piece(
        gdk_pixbuf_new(GDK_COLORSPACE_RGB, gdk_pixbuf_get_has_alpha(full), 8, part.width, part.height));
    if (!piece) continue;  // no memory for it: that part stays as it was
    gdk_pixbuf_scale(full, piece.get(), 0, 0, part.width, part.height, picture.x - part.x, picture.y - part.y,
                     scaleX, scaleY, GDK_INTERP_BILINEAR);
    gdk_draw_pixbuf(event->window, nullptr, piece.get(), 0, 0, part.x, part.y, part.width, part.height,
                    GDK_RGB_DITHER_NORMAL, 0, 0);
  }
  g_free(rectangles);
  return TRUE;
}

// What the view shows while the full picture is not there: the thumbnail's
// own picture, scaled up as the full one would be.
PixbufPtr standInPicture(GtkWidget *thumbnail) {
  if (GTK_IS_IMAGE(thumbnail) && gtk_image_get_storage_type(GTK_IMAGE(thumbnail)) == GTK_IMAGE_PIXBUF)
    if (GdkPixbuf *small = gtk_image_get_pixbuf(GTK_IMAGE(thumbnail)))
      return PixbufPtr(GDK_PIXBUF(g_object_ref(small)));
  PixbufPtr black(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 1, 1));
  if (black) gdk_pixbuf_fill(black.get(), 0x000000ff);
  return black;
}

// The picture to draw for `thumbnail`: the full one when the cache has it,
// otherwise its thumbnail's standing in (true); null for none.
std::pair<PixbufPtr, bool> pictureToDraw(GtkWidget *thumbnail) {
  if (PixbufPtr cached = cachedFullPicture(thumbnail)) return {std::move(cached), false};
  return {standInPicture(thumbnail), true};
}

// The full picture's size, also while its thumbnail stands in for it.
std::pair<int, int> fullSize(GtkWidget *thumbnail, GdkPixbuf *picture, bool standIn) {
  const FullPictureSource *source = fullPictureSourceOf(thumbnail);
  if (standIn && source != nullptr && source->width > 0 && source->height > 0)
    return {source->width, source->height};
  return {gdk_pixbuf_get_width(picture), gdk_pixbuf_get_height(picture)};
}

}  // namespace

std::pair<int, int> fullPictureSizeOf(GtkWidget *thumbnail) {
  if (thumbnail == nullptr) return {0, 0};
  auto [picture, standIn] = pictureToDraw(thumbnail);
  if (!picture) return {0, 0};
  return fullSize(thumbnail, picture.get(), standIn);
}

int showPicture() {
  if (browser.selectedThumbnail == nullptr) return 0;
  auto [picture, standIn] = pictureToDraw(browser.selectedThumbnail);
  if (!picture) return 0;
  auto [originalWidth, originalHeight] = fullSize(browser.selectedThumbnail, picture.get(), standIn);
  auto [width, height] = shownPictureSize(originalWidth, originalHeight, browser.zoomFactor);
  if (g_object_get_data(G_OBJECT(browser.imageView), "draws-visible-part") == nullptr) {
    g_signal_connect(browser.imageView, "expose-event", G_CALLBACK(drawVisiblePart), nullptr);
    g_object_set_data(G_OBJECT(browser.imageView), "draws-visible-part", browser.imageView);
  }
  shown.viewedPicture = std::move(picture);
  shown.viewedThumbnail = browser.selectedThumbnail;
  shown.viewShowsStandIn = standIn;
  // Never a picture under the wrong line: the line says so when the picture
  // shown is only the thumbnail of an unreadable one.
  shown.noteShown = standIn && (fullPictureSourceOf(browser.selectedThumbnail) == nullptr ||
                                fullPictureUnreadable(browser.selectedThumbnail));
  if (gtk_image_get_storage_type(GTK_IMAGE(browser.imageView)) != GTK_IMAGE_EMPTY)
    gtk_image_clear(GTK_IMAGE(browser.imageView));
  // The view takes the place of the whole scaled picture; only what is exposed
  // of it is ever scaled.
  gtk_widget_set_size_request(browser.imageView, width, height);
  gtk_widget_queue_draw(browser.imageView);
  return std::min(width, height);
}

void clearShownPicture() {
  shown.viewedPicture.reset();
  shown.viewedThumbnail = nullptr;
  shown.viewShowsStandIn = shown.noteShown = false;
  gtk_widget_set_size_request(browser.imageView, -1, -1);
  gtk_widget_queue_draw(browser.imageView);
}

void showInformationLine() {
  if (!shown.viewedPicture) {
    gtk_label_set_text(GTK_LABEL(browser.infoLabel), "");
    return;
  }
  StudyMetadata displayed = recordForDisplay(currentRecord());
  setInformationLine(informationLineMarkup(displayed) +
                     (shown.noteShown ? unreadablePictureNoteMarkup() : ""));
  gtk_widget_set_tooltip_text(browser.infoLabel, makeValidUtf8(examinationText(displayed)).c_str());
}

void showSelectionFrame() {
  GtkWidget *framed =
      browser.cinePlaying || currentSeriesThumbnails().empty() ? nullptr : browser.selectedThumbnail;
  if (shown.framedThumbnail != nullptr && shown.framedThumbnail != framed) {
    setThumbnailFrameColour(shown.framedThumbnail, colorBlack);
    g_object_remove_weak_pointer(G_OBJECT(shown.framedThumbnail),
                                 reinterpret_cast<gpointer *>(&shown.framedThumbnail));
    shown.framedThumbnail = nullptr;
  }
  if (framed == nullptr) return;
  setThumbnailFrameColour(framed, colorDarkRed);
  if (shown.framedThumbnail == nullptr) {
    shown.framedThumbnail = framed;
    g_object_add_weak_pointer(G_OBJECT(framed), reinterpret_cast<gpointer *>(&shown.framedThumbnail));
  }
}

bool viewAwaitsFullPicture(GtkWidget *thumbnail) {
  if (thumbnail == nullptr || thumbnail != shown.viewedThumbnail || !shown.viewShowsStandIn) return false;
  // A failed decoding is not retried from here: only showing the position again does.
  return static_cast<bool>(cachedFullPicture(thumbnail)) ||
         (fullPictureUnreadable(thumbnail) && !shown.noteShown);
}

void setThumbnailFrameColour(GtkWidget *thumbnail, const GdkColor &colour) {
  GtkWidget *frame = gtk_widget_get_parent(thumbnail);
  if (frame != nullptr) gtk_widget_modify_bg(frame, GTK_STATE_NORMAL, &colour);
}

GdkPixbuf *viewedPixels() { return shown.viewedPicture.get(); }

std::pair<int, int> viewedPictureSize() {
  if (!shown.viewedPicture || browser.imageView == nullptr) return {0, 0};
  int width = 0, height = 0;
  gtk_widget_get_size_request(browser.imageView, &width, &height);
  return {width, height};
}

void setPictureShownObserver(std::function<void()> observer) {
  shown.pictureShownObserver = std::move(observer);
}

void notifyPictureShown() {
  if (shown.pictureShownObserver) shown.pictureShownObserver();
}
