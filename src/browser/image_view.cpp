// The browser's large picture and information line, and the selection frame.
#include "browser/image_view.h"

#include "base/text.h"
#include "browser/browser_input.h"
#include "browser/browser_state.h"
#include "browser/full_pictures.h"
#include "browser/information_line.h"
#include "browser/navigation.h"
#include "catalogue/reference_catalogue.h"
#include "platform/glib_owners.h"
#include "ui/palette.h"

#include <pango/pango.h>

#include <algorithm>
#include <memory>

namespace {

StudyMetadata currentRecord() {
  auto study = StudyMetadataIndex.find(currentStudy);
  if (study == StudyMetadataIndex.end()) return StudyMetadata();
  auto series = study->second.find(currentSeries);
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
  gtk_label_set_text(GTK_LABEL(infoLabel), text.get());
  gtk_label_set_attributes(GTK_LABEL(infoLabel), attributes.get());
}

// The factor that fits the picture into the image area as it is laid out now.
double fittedZoomFactor(GdkPixbuf *original) {
  if (imageScroller == nullptr) return zoomFactor;
  GtkAllocation view;
  gtk_widget_get_allocation(imageScroller, &view);
  return fitViewFactor(gdk_pixbuf_get_width(original), gdk_pixbuf_get_height(original), view.width,
                       view.height);
}

}  // namespace

void setThumbnailFrameColour(GtkWidget *thumbnail, const GdkColor &colour) {
  GtkWidget *frame = gtk_widget_get_parent(thumbnail);
  if (frame != nullptr) gtk_widget_modify_bg(frame, GTK_STATE_NORMAL, &colour);
}

double largestUsefulZoom(int width, int height) {
  return static_cast<double>(kLargestShownSide) / std::max(1, std::max(width, height));
}

std::pair<int, int> shownPictureSize(int width, int height, double factor) {
  double scaledWidth = factor * width;
  double scaledHeight = factor * height;
  if (scaledWidth >= scaledHeight && scaledWidth > kLargestShownSide) {
    scaledHeight = scaledHeight * kLargestShownSide / scaledWidth;
    scaledWidth = kLargestShownSide;
  } else if (scaledHeight > scaledWidth && scaledHeight > kLargestShownSide) {
    scaledWidth = scaledWidth * kLargestShownSide / scaledHeight;
    scaledHeight = kLargestShownSide;
  }
  return {std::max(kSmallestShownSide, static_cast<int>(scaledWidth)),
          std::max(kSmallestShownSide, static_cast<int>(scaledHeight))};
}

PixbufPtr originalPicture(GtkWidget *thumbnail) { return fullPicture(thumbnail); }

int showCurrentImage() {
  if (selectedThumbnail == nullptr) return 0;
  PixbufPtr picture = originalPicture(selectedThumbnail);
  prefetchFullPictures(currentSeriesThumbnails(), currentImage);
  if (!picture) return 0;
  GdkPixbuf *original = picture.get();
  if (zoomFitsView) zoomFactor = fittedZoomFactor(original);

  int originalWidth = gdk_pixbuf_get_width(original);
  int originalHeight = gdk_pixbuf_get_height(original);
  zoomFactor = std::min(zoomFactor, largestUsefulZoom(originalWidth, originalHeight));
  auto [width, height] = shownPictureSize(originalWidth, originalHeight, zoomFactor);
  // A picture that cannot be scaled (no memory for it) leaves the view as it was.
  if (GdkPixbuf *scaled = gdk_pixbuf_scale_simple(original, width, height, GDK_INTERP_BILINEAR)) {
    g_object_set(imageView, "pixbuf", scaled, nullptr);
    g_object_unref(scaled);
  }

  StudyMetadata displayed = recordForDisplay(currentRecord());
  setInformationLine(informationLineMarkup(displayed));
  gtk_widget_set_tooltip_text(infoLabel, makeValidUtf8(examinationText(displayed)).c_str());
  showWhereAmI();
  return std::min(width, height);
}

void selectThumbnail(GtkWidget *thumbnail) {
  if (selectedThumbnail != nullptr) setThumbnailFrameColour(selectedThumbnail, colorBlack);
  setThumbnailFrameColour(thumbnail, colorDarkRed);
  selectedThumbnail = thumbnail;
}
