// The program's emblem and the pictures that carry it: the window icon and the
// status row's "powered by" line.
#include "canvas.h"
#include "drawings.h"

#include <algorithm>
#include <cmath>

namespace artwork {

void drawEmblem(cairo_t *cr, double left, double top, double size, bool onBlue) {
  roundedRectangle(cr, left, top, size, size, size * 0.22);
  std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)> gradient(
      cairo_pattern_create_linear(0, top, 0, top + size), cairo_pattern_destroy);
  const Rgb light = onBlue ? palette::kWhite : palette::kBlue;
  const Rgb dark = onBlue ? palette::kPaleBlue : palette::kDeepBlue;
  cairo_pattern_add_color_stop_rgb(gradient.get(), 0, light.r, light.g, light.b);
  cairo_pattern_add_color_stop_rgb(gradient.get(), 1, dark.r, dark.g, dark.b);
  cairo_set_source(cr, gradient.get());
  cairo_fill(cr);
  // A scanner's ring around a small cross.
  const double cx = left + size / 2, cy = top + size / 2;
  setColor(cr, onBlue ? palette::kMidBlue : palette::kWhite);
  cairo_set_line_width(cr, size * 0.1);
  cairo_arc(cr, cx, cy, size * 0.3, 0, 2 * M_PI);
  cairo_stroke(cr);
  if (size < 20) return;  // too small for the cross to read
  const double arm = size * 0.13, thickness = size * 0.085;
  cairo_rectangle(cr, cx - arm, cy - thickness / 2, 2 * arm, thickness);
  cairo_rectangle(cr, cx - thickness / 2, cy - arm, thickness, 2 * arm);
  cairo_fill(cr);
}

void drawProgramIcon(cairo_t *cr, int width, int height) {
  const double size = std::min(width, height) - 2;
  drawEmblem(cr, (width - size) / 2, (height - size) / 2, size);
}

void drawStatusPoweredBy(cairo_t *cr, int width, int height) {
  cairo_rectangle(cr, 0, 0, width, height);
  setColor(cr, palette::kWhite);
  cairo_fill(cr);
  const double emblem = height - 4;
  drawEmblem(cr, 1, 2, emblem);
  const double textLeft = emblem + 4;
  drawText(cr,
           "<span foreground='#5d6b79'>powered by </span>"
           "<span foreground='#1d5a85' weight='bold'>Velmora</span>",
           {10, false, palette::kSlate}, textLeft, width - textLeft - 1, height / 2.0, Align::Left, true);
}

}  // namespace artwork
