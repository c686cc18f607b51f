// The frame of the page that wraps an HTML report: a blue header strip with the
// emblem and the page's title, grey side columns shaded towards the page, and a
// thin blue footer strip. Pictures that meet draw the same background rows, so
// they join the repeated strips without a seam.
#include "canvas.h"
#include "drawings.h"

#include <cmath>

namespace artwork {

namespace {

constexpr Rgb kShadeDeepest = rgb(0xb3b8bc);

Rgb mix(Rgb from, Rgb to, double t) {
  return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t};
}

void fillHeaderRows(cairo_t *cr, int width, int height) {
  fillVerticalGradient(cr, 0, 0, width, height - 2, rgb(0x5aa8d2), palette::kMidBlue);
  cairo_rectangle(cr, 0, height - 2, width, 2);
  setColor(cr, palette::kDeepBlue);
  cairo_fill(cr);
}

void fillFooterRows(cairo_t *cr, int width, int height) {
  fillVerticalGradient(cr, 0, 1, width, height - 1, palette::kMidBlue, palette::kDeepBlue);
  cairo_rectangle(cr, 0, 0, width, 1);
  setColor(cr, palette::kSkyBlue);
  cairo_fill(cr);
}

}  // namespace

void drawHeaderBackground(cairo_t *cr, int width, int height) { fillHeaderRows(cr, width, height); }

void drawHeaderLeft(cairo_t *cr, int width, int height) {
  fillHeaderRows(cr, width, height);
  const double emblem = 42;
  const double top = std::round((height - 2 - emblem) / 2);
  drawEmblem(cr, 14, top, emblem, true);
  const double textLeft = 14 + emblem + 9;
  drawText(cr, "Velmora", {22, true, palette::kWhite}, textLeft, width - textLeft - 4, top + 15, Align::Left);
  drawText(cr, "badania obrazowe", {10, false, palette::kPaleBlue}, textLeft, width - textLeft - 4, top + 33,
           Align::Left);
}

void drawHeaderRight(cairo_t *cr, int width, int height) {
  fillHeaderRows(cr, width, height);
  // Faint rings at the right edge, echoing the emblem; they stop short of the
  // left edge, where the picture meets the plain strip.
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height - 2);
  cairo_clip(cr);
  cairo_set_line_width(cr, 9);
  for (int ring = 0; ring < 4; ++ring) {
    cairo_set_source_rgba(cr, 1, 1, 1, 0.07 - ring * 0.012);
    cairo_arc(cr, width + 14, (height - 2) / 2.0, 34 + ring * 22, 0, 2 * M_PI);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
  const double right = width - 22;
  drawText(cr, "Opis badania", {22, true, palette::kWhite}, 20, right - 20, 35, Align::Right);
  drawText(cr, "Wyniki badań obrazowych", {11, false, palette::kPaleBlue}, 20, right - 20, 56, Align::Right);
}

void drawSideShadow(cairo_t *cr, int width, int height, bool pageOnRight) {
  for (int x = 0; x < width; ++x) {
    const double towardsPage = pageOnRight ? x / (width - 1.0) : 1 - x / (width - 1.0);
    setColor(cr, mix(palette::kPageSide, kShadeDeepest, std::pow(towardsPage, 2.4)));
    cairo_rectangle(cr, x, 0, 1, height);
    cairo_fill(cr);
  }
}

void drawFooterBackground(cairo_t *cr, int width, int height) { fillFooterRows(cr, width, height); }

void drawFooterCorner(cairo_t *cr, int width, int height) {
  fillFooterRows(cr, width, height);
  const double emblem = height - 6;
  drawEmblem(cr, std::round((width - emblem) / 2), 3.5, emblem);
}

void drawFooterPoweredBy(cairo_t *cr, int width, int height) {
  fillFooterRows(cr, width, height);
  drawText(cr,
           "<span foreground='#bcdaee'>powered by </span>"
           "<span foreground='#ffffff' weight='bold'>Velmora</span>",
           {10, false, palette::kPaleBlue}, 2, width - 4, height / 2.0 + 0.5, Align::Center, true);
}

}  // namespace artwork
