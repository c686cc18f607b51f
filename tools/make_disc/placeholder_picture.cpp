// Drawn with cairo and pango into a grey raster. Every function here may run
// on any thread: each call owns its surface and layout, and the text is drawn
// by one thread at a time.
#include "placeholder_picture.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace makedisc {

namespace {

struct LayoutDeleter {
  void operator()(PangoLayout *layout) const { g_object_unref(layout); }
};
struct FontDeleter {
  void operator()(PangoFontDescription *font) const { pango_font_description_free(font); }
};

}  // namespace

Raster placeholderPicture(const std::string &why, int side) {
  side = std::max(side, 64);
  Raster raster{side, side, 1, std::vector<uint8_t>(static_cast<size_t>(side) * side, 0x50)};
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, side, side), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return raster;  // grey alone
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()), cairo_destroy);
  cairo_set_source_rgb(cr.get(), 0.3, 0.3, 0.3);
  cairo_paint(cr.get());
  // Fontconfig's and HarfBuzz's caches behind pango are shared between the
  // threads' font maps, and the thread checker finds races in them; a
  // placeholder is rare, so they are drawn one at a time.
  static std::mutex drawing;
  const std::lock_guard<std::mutex> hold(drawing);
  std::unique_ptr<PangoLayout, LayoutDeleter> layout(pango_cairo_create_layout(cr.get()));
  std::unique_ptr<PangoFontDescription, FontDeleter> font(pango_font_description_from_string("Sans"));
  pango_font_description_set_absolute_size(font.get(), side / 24.0 * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), font.get());
  const int margin = side / 12;
  pango_layout_set_width(layout.get(), (side - 2 * margin) * PANGO_SCALE);
  pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
  pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
  std::unique_ptr<gchar, decltype(&g_free)> escaped(g_markup_escape_text(why.c_str(), -1), g_free);
  const std::string markup = "<b>Nie można pokazać tego obrazu</b>\n\n" + std::string(escaped.get());
  pango_layout_set_markup(layout.get(), markup.c_str(), -1);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout.get(), &width, &height);
  cairo_move_to(cr.get(), margin, std::max(margin, (side - height) / 2));
  cairo_set_source_rgb(cr.get(), 1, 1, 1);
  pango_cairo_show_layout(cr.get(), layout.get());
  cairo_surface_flush(surface.get());
  // Grey on grey: one channel of the opaque surface is the picture.
  const unsigned char *data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < side; ++y) {
    const auto *row = reinterpret_cast<const uint32_t *>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < side; ++x)
      raster.pixels[static_cast<size_t>(y) * side + x] = static_cast<uint8_t>(row[x]);
  }
  return raster;
}

}  // namespace makedisc
