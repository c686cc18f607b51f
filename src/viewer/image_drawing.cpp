// The picture and its overlays with cairo and Pango.
#include "viewer/image_drawing.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

struct CairoDeleter {
  void operator()(cairo_t *cairo) const { cairo_destroy(cairo); }
};

// Picture coordinates to the view's, as drawn.
cairo_matrix_t pictureMatrix(const DecodedFrame &frame, const ViewState &state, int width, int height) {
  cairo_matrix_t matrix;
  cairo_matrix_init_translate(&matrix, width / 2.0 + state.panX, height / 2.0 + state.panY);
  const double zoom = effectiveZoom(state, fitZoom(frame, state, width, height));
  cairo_matrix_scale(&matrix, zoom, zoom);
  if (state.flipped) cairo_matrix_scale(&matrix, -1, 1);
  cairo_matrix_rotate(&matrix, state.quarterTurns * G_PI / 2);
  cairo_matrix_translate(&matrix, -frame.width / 2.0, -frame.height / 2.0);
  return matrix;
}

void drawText(cairo_t *cairo, PangoLayout *layout, const std::string &text, double x, double y, double alignX,
              double alignY) {
  pango_layout_set_text(layout, text.c_str(), -1);
  int textWidth = 0, textHeight = 0;
  pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
  const double left = x - alignX * textWidth, top = y - alignY * textHeight;
  // A dark edge keeps the text readable over any part of the picture.
  cairo_set_source_rgb(cairo, 0, 0, 0);
  cairo_move_to(cairo, left + 1, top + 1);
  pango_cairo_show_layout(cairo, layout);
  cairo_set_source_rgb(cairo, 1, 1, 0.85);
  cairo_move_to(cairo, left, top);
  pango_cairo_show_layout(cairo, layout);
}

void drawOverlays(cairo_t *cairo, const DecodedFrame &frame, const ViewState &state, int width, int height) {
  UniqueObject<PangoLayout> layout(pango_cairo_create_layout(cairo));
  PangoFontDescription *font = pango_font_description_from_string("Sans 10");
  pango_layout_set_font_description(layout.get(), font);
  pango_font_description_free(font);
  const double zoom = effectiveZoom(state, fitZoom(frame, state, width, height));
  const auto corners = overlayLines(frame.attributes, state, zoom);
  const double margin = 6, lineHeight = 15;
  for (size_t corner = 0; corner < corners.size(); ++corner) {
    const bool right = corner % 2 == 1, bottom = corner >= 2;
    const auto &lines = corners[corner];
    for (size_t i = 0; i < lines.size(); ++i) {
      const double y = bottom ? height - margin - (lines.size() - i) * lineHeight : margin + i * lineHeight;
      drawText(cairo, layout.get(), lines[i], right ? width - margin : margin, y, right ? 1 : 0, 0);
    }
  }
  const auto letters = orientationLetters(frame.attributes, state.quarterTurns, state.flipped);
  drawText(cairo, layout.get(), letters[0], margin, height / 2.0, 0, 0.5);
  drawText(cairo, layout.get(), letters[1], width - margin, height / 2.0, 1, 0.5);
  drawText(cairo, layout.get(), letters[2], width / 2.0, margin + 4 * lineHeight, 0.5, 0);
  drawText(cairo, layout.get(), letters[3], width / 2.0, height - margin - 2 * lineHeight, 0.5, 1);
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  std::string result = text;
  for (char &c : result)
    if (c == '.') c = ',';
  return result;
}

}  // namespace

void renderPicture(PictureRendering &rendering, const SharedFrame &frame, const DisplaySettings &settings) {
  const bool sameSettings = rendering.settings.window.centre == settings.window.centre &&
                            rendering.settings.window.width == settings.window.width &&
                            rendering.settings.useVoiLut == settings.useVoiLut &&
                            rendering.settings.invert == settings.invert;
  if (rendering.frame == frame && sameSettings && rendering.picture) return;
  if (!rendering.picture || gdk_pixbuf_get_width(rendering.picture.get()) != frame->width ||
      gdk_pixbuf_get_height(rendering.picture.get()) != frame->height)
    rendering.picture.reset(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, frame->width, frame->height));
  rendering.frame = frame;
  rendering.settings = settings;
  if (!rendering.picture) return;
  renderFrame(*frame, buildOutputLookup(*frame, settings), settings.invert,
              gdk_pixbuf_get_pixels(rendering.picture.get()),
              gdk_pixbuf_get_rowstride(rendering.picture.get()));
}

double fitZoom(const DecodedFrame &frame, const ViewState &state, int width, int height) {
  const bool turned = state.quarterTurns % 2 == 1;
  const double pictureWidth = turned ? frame.height : frame.width,
               pictureHeight = turned ? frame.width : frame.height;
  if (pictureWidth <= 0 || pictureHeight <= 0 || width <= 0 || height <= 0) return 1;
  return std::min(width / pictureWidth, height / pictureHeight);
}

void drawPicture(GtkWidget *widget, const SharedFrame &frame, const ViewState &state,
                 PictureRendering &rendering, const std::string &problem) {
  std::unique_ptr<cairo_t, CairoDeleter> cairo(gdk_cairo_create(widget->window));
  const int width = widget->allocation.width, height = widget->allocation.height;
  cairo_set_source_rgb(cairo.get(), 0, 0, 0);
  cairo_paint(cairo.get());
  if (!frame) {
    UniqueObject<PangoLayout> layout(pango_cairo_create_layout(cairo.get()));
    drawText(cairo.get(), layout.get(), problem.empty() ? "Wczytywanie obrazu…" : problem, width / 2.0,
             height / 2.0, 0.5, 0.5);
    return;
  }
  renderPicture(rendering, frame, state.display);
  if (!rendering.picture) return;
  cairo_save(cairo.get());
  cairo_matrix_t matrix = pictureMatrix(*frame, state, width, height);
  cairo_transform(cairo.get(), &matrix);
  gdk_cairo_set_source_pixbuf(cairo.get(), rendering.picture.get(), 0, 0);
  const double zoom = effectiveZoom(state, fitZoom(*frame, state, width, height));
  // Enlarged pixels stay square, as a reader measuring by eye expects.
  cairo_pattern_set_filter(cairo_get_source(cairo.get()),
                           zoom >= 2 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_rectangle(cairo.get(), 0, 0, frame->width, frame->height);
  cairo_fill(cairo.get());
  cairo_restore(cairo.get());
  if (state.overlay) drawOverlays(cairo.get(), *frame, state, width, height);
}

UniqueObject<GdkPixbuf> shownPicture(const SharedFrame &frame, const ViewState &state, bool overlays,
                                     const std::function<void(cairo_t *)> &extra) {
  PictureRendering rendering;
  renderPicture(rendering, frame, state.display);
  if (!rendering.picture) return nullptr;
  const bool turned = state.quarterTurns % 2 == 1;
  // As it is, the picture is the rendering itself: a large one is saved
  // without a copy.
  if (!overlays && state.quarterTurns % 4 == 0 && !state.flipped) return std::move(rendering.picture);
  const int width = turned ? frame->height : frame->width, height = turned ? frame->width : frame->height;
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t *)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  {
    std::unique_ptr<cairo_t, CairoDeleter> cairo(cairo_create(surface.get()));
    cairo_matrix_t matrix;
    cairo_matrix_init_translate(&matrix, width / 2.0, height / 2.0);
    if (state.flipped) cairo_matrix_scale(&matrix, -1, 1);
    cairo_matrix_rotate(&matrix, state.quarterTurns * G_PI / 2);
    cairo_matrix_translate(&matrix, -frame->width / 2.0, -frame->height / 2.0);
    cairo_save(cairo.get());
    cairo_transform(cairo.get(), &matrix);
    gdk_cairo_set_source_pixbuf(cairo.get(), rendering.picture.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cairo.get()), CAIRO_FILTER_NEAREST);
    cairo_paint(cairo.get());
    if (overlays && extra) extra(cairo.get());
    cairo_restore(cairo.get());
    if (overlays) {
      // Text as large against the picture as on a view some 512 pixels wide.
      const double scale = std::max(1.0, std::min(width, height) / 512.0);
      ViewState shown = state;
      shown.zoom = 1 / scale;
      cairo_scale(cairo.get(), scale, scale);
      drawOverlays(cairo.get(), *frame, shown, static_cast<int>(width / scale),
                   static_cast<int>(height / scale));
    }
  }
  cairo_surface_flush(surface.get());
  UniqueObject<GdkPixbuf> picture(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
  if (!picture) return nullptr;
  const unsigned char *source = cairo_image_surface_get_data(surface.get());
  const int sourceStride = cairo_image_surface_get_stride(surface.get());
  guchar *target = gdk_pixbuf_get_pixels(picture.get());
  const int targetStride = gdk_pixbuf_get_rowstride(picture.get());
  for (int y = 0; y < height; ++y) {
    const auto *in = reinterpret_cast<const uint32_t *>(source + static_cast<size_t>(y) * sourceStride);
    guchar *out = target + static_cast<size_t>(y) * targetStride;
    for (int x = 0; x < width; ++x) {
      out[3 * x] = static_cast<guchar>(in[x] >> 16);
      out[3 * x + 1] = static_cast<guchar>(in[x] >> 8);
      out[3 * x + 2] = static_cast<guchar>(in[x]);
    }
  }
  return picture;
}

std::string valueUnderPointerText(const DecodedFrame &frame, const ViewState &state, int width, int height,
                                  double x, double y) {
  cairo_matrix_t matrix = pictureMatrix(frame, state, width, height);
  if (cairo_matrix_invert(&matrix) != CAIRO_STATUS_SUCCESS) return {};
  cairo_matrix_transform_point(&matrix, &x, &y);
  const long column = static_cast<long>(std::floor(x)), row = static_cast<long>(std::floor(y));
  if (column < 0 || row < 0 || column >= frame.width || row >= frame.height) return "Wskaźnik poza obrazem.";
  const size_t at = static_cast<size_t>(row) * frame.width + column;
  std::string text = "Piksel (" + std::to_string(column) + ", " + std::to_string(row) + "): ";
  if (frame.colour) {
    const uint8_t *rgb = &frame.rgb[at * 3];
    return text + "R " + std::to_string(rgb[0]) + ", G " + std::to_string(rgb[1]) + ", B " +
           std::to_string(rgb[2]);
  }
  const int64_t stored = frame.storedAt(at);
  text += "wartość zapisana " + std::to_string(stored);
  const double modality = modalityValue(frame.attributes, static_cast<double>(stored));
  if (frame.attributes.modality == "CT")
    text += ", " + number(modality) + " HU";
  else if (frame.attributes.modalityLut)
    text += ", w jednostkach modalności " + number(modality);
  else if (frame.attributes.hasRescale)
    text += ", po przeskalowaniu " + number(modality);
  return text;
}
