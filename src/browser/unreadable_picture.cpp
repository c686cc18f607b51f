// The placeholder of a picture that cannot be decoded, drawn once.
#include "browser/unreadable_picture.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>

namespace {

constexpr int kSide = 128;
const char *const kText = "Nie można odczytać obrazu";

// Cairo's premultiplied native-endian ARGB into the toolkit's RGB (the
// surface is opaque, so no division is needed).
void copyInto(cairo_surface_t *surface, GdkPixbuf *pixbuf) {
  cairo_surface_flush(surface);
  const unsigned char *from = cairo_image_surface_get_data(surface);
  int fromStride = cairo_image_surface_get_stride(surface);
  guchar *to = gdk_pixbuf_get_pixels(pixbuf);
  int toStride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < kSide; ++y) {
    const auto *pixel = reinterpret_cast<const guint32 *>(from + y * fromStride);
    guchar *row = to + y * toStride;
    for (int x = 0; x < kSide; ++x) {
      row[3 * x] = static_cast<guchar>(pixel[x] >> 16);
      row[3 * x + 1] = static_cast<guchar>(pixel[x] >> 8);
      row[3 * x + 2] = static_cast<guchar>(pixel[x]);
    }
  }
}

GdkPixbuf *drawPlaceholder() {
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, kSide, kSide);
  if (pixbuf == nullptr) return nullptr;
  gdk_pixbuf_fill(pixbuf, 0x808080ff);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSide, kSide), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return pixbuf;  // grey alone
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
  cairo_set_source_rgb(cr.get(), 0.5, 0.5, 0.5);
  cairo_paint(cr.get());
  PangoLayout *layout = pango_cairo_create_layout(cr.get());
  PangoFontDescription *font = pango_font_description_from_string("Sans Bold 10");
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_width(layout, (kSide - 12) * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  pango_layout_set_text(layout, kText, -1);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  cairo_move_to(cr.get(), 6, (kSide - height) / 2.0);
  cairo_set_source_rgb(cr.get(), 1, 1, 1);
  pango_cairo_show_layout(cr.get(), layout);
  g_object_unref(layout);
  copyInto(surface.get(), pixbuf);
  return pixbuf;
}

}  // namespace

GdkPixbuf *unreadablePicture() {
  static GdkPixbuf *placeholder = drawPlaceholder();
  return placeholder;
}
