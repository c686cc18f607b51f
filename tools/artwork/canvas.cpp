// Drawing helpers shared by every picture of the artwork.
#include "canvas.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace artwork {

namespace {

using LayoutPtr = std::unique_ptr<PangoLayout, decltype(&g_object_unref)>;
using FontPtr = std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)>;
using ErrorPtr = std::unique_ptr<GError, decltype(&g_error_free)>;

LayoutPtr makeLayout(cairo_t *cr, const std::string &text, TextStyle style, bool markup) {
  LayoutPtr layout(pango_cairo_create_layout(cr), g_object_unref);
  FontPtr font(pango_font_description_new(), pango_font_description_free);
  pango_font_description_set_family(font.get(), kFontFamily);
  pango_font_description_set_weight(font.get(), style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(font.get(), style.pixelSize * PANGO_SCALE);
  pango_layout_set_font_description(layout.get(), font.get());
  if (markup)
    pango_layout_set_markup(layout.get(), text.c_str(), -1);
  else
    pango_layout_set_text(layout.get(), text.c_str(), -1);
  return layout;
}

double layoutWidth(PangoLayout *layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return static_cast<double>(logical.width) / PANGO_SCALE;
}

}  // namespace

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), cairo_surface_destroy),
      cr_(cairo_create(surface_.get()), cairo_destroy) {
  // Grey antialiasing: coloured fringes of subpixel text would show in JPEG.
  std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> options(
      cairo_font_options_create(), cairo_font_options_destroy);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr_.get(), options.get());
}

PixbufPtr surfaceToPixbuf(cairo_surface_t *surface, bool keepAlpha) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char *data = cairo_image_surface_get_data(surface);
  PixbufPtr pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, keepAlpha, 8, width, height), g_object_unref);
  if (!pixbuf || !data) return PixbufPtr(nullptr, g_object_unref);
  const int rowstride = gdk_pixbuf_get_rowstride(pixbuf.get());
  const int channels = gdk_pixbuf_get_n_channels(pixbuf.get());
  guchar *pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  for (int y = 0; y < height; ++y) {
    guchar *out = pixels + static_cast<size_t>(y) * rowstride;
    for (int x = 0; x < width; ++x, out += channels) {
      std::uint32_t word;
      std::memcpy(&word, data + static_cast<size_t>(y) * stride + 4 * x, sizeof word);
      const unsigned alpha = word >> 24;
      const unsigned premultiplied[3] = {(word >> 16) & 0xff, (word >> 8) & 0xff, word & 0xff};
      for (int c = 0; c < 3; ++c) {
        if (!keepAlpha)
          out[c] = static_cast<guchar>(premultiplied[c] + 255 - alpha);  // over white
        else if (alpha == 0)
          out[c] = 0;
        else
          out[c] = static_cast<guchar>(std::min(255u, (premultiplied[c] * 255 + alpha / 2) / alpha));
      }
      if (keepAlpha) out[3] = static_cast<guchar>(alpha);
    }
  }
  return pixbuf;
}

bool savePicture(const Canvas &canvas, const std::string &path, FileType type, std::string *error) {
  PixbufPtr pixbuf = surfaceToPixbuf(canvas.surface(), type != FileType::Jpeg);
  if (!pixbuf) {
    if (error) *error = path + ": cannot make the picture";
    return false;
  }
  GError *raw = nullptr;
  gboolean saved = FALSE;
  switch (type) {
    case FileType::Png:
      saved = gdk_pixbuf_save(pixbuf.get(), path.c_str(), "png", &raw, "compression", "9", nullptr);
      break;
    case FileType::Jpeg:
      saved = gdk_pixbuf_save(pixbuf.get(), path.c_str(), "jpeg", &raw, "quality", "94", nullptr);
      break;
    case FileType::Ico:
      saved = gdk_pixbuf_save(pixbuf.get(), path.c_str(), "ico", &raw, nullptr);
      break;
  }
  ErrorPtr failure(raw, g_error_free);
  if (saved) return true;
  if (error) *error = path + ": " + (failure ? failure->message : "cannot be written");
  return false;
}

void setColor(cairo_t *cr, Rgb color, double alpha) {
  cairo_set_source_rgba(cr, color.r, color.g, color.b, alpha);
}

void roundedRectangle(cairo_t *cr, double x, double y, double width, double height, double radius) {
  radius = std::min({radius, width / 2, height / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void fillVerticalGradient(cairo_t *cr, double x, double y, double width, double height, Rgb top, Rgb bottom) {
  std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)> gradient(
      cairo_pattern_create_linear(0, y, 0, y + height), cairo_pattern_destroy);
  cairo_pattern_add_color_stop_rgb(gradient.get(), 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(gradient.get(), 1, bottom.r, bottom.g, bottom.b);
  cairo_rectangle(cr, x, y, width, height);
  cairo_set_source(cr, gradient.get());
  cairo_fill(cr);
}

void fillTriangle(cairo_t *cr, double tipX, double centerY, double width, double height, int direction) {
  const double baseX = tipX - direction * width;
  cairo_move_to(cr, tipX, centerY);
  cairo_line_to(cr, baseX, centerY - height / 2);
  cairo_line_to(cr, baseX, centerY + height / 2);
  cairo_close_path(cr);
  cairo_fill(cr);
}

double fittingSize(cairo_t *cr, const std::string &text, TextStyle style, double maxWidth) {
  double size = style.pixelSize;
  for (; size > 6; size -= 0.25) {
    style.pixelSize = size;
    if (layoutWidth(makeLayout(cr, text, style, false).get()) <= maxWidth) break;
  }
  return size;
}

void drawText(cairo_t *cr, const std::string &text, TextStyle style, double left, double width,
              double centerY, Align align, bool markup) {
  LayoutPtr layout = makeLayout(cr, text, style, markup);
  while (layoutWidth(layout.get()) > width && style.pixelSize > 6) {
    style.pixelSize -= 0.25;
    layout = makeLayout(cr, text, style, markup);
  }
  PangoRectangle logical;
  pango_layout_get_extents(layout.get(), nullptr, &logical);
  const double textWidth = static_cast<double>(logical.width) / PANGO_SCALE;
  const double textHeight = static_cast<double>(logical.height) / PANGO_SCALE;
  double x = left;
  if (align == Align::Center) x = left + (width - textWidth) / 2;
  if (align == Align::Right) x = left + width - textWidth;
  setColor(cr, style.color);
  cairo_move_to(cr, std::round(x), std::round(centerY - textHeight / 2));
  pango_cairo_show_layout(cr, layout.get());
}

}  // namespace artwork
