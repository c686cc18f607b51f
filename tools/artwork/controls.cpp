// The browser's flat button pictures (dark blue on the theme's light grey) and
// the tree's small fold pictures (white on black).
#include "canvas.h"
#include "drawings.h"

#include <cmath>

namespace artwork {

namespace {

constexpr double kGlyphHeight = 12;
constexpr double kBarWidth = 2.5;

// "|<" or "|<<": a bar and one or two triangles pointing left, centred on cx.
void drawStepBack(cairo_t *cr, double cx, double cy, int triangles) {
  const double triangleWidth = triangles == 1 ? 9 : 8;
  const double groupWidth = kBarWidth + 1 + triangles * triangleWidth;
  const double left = cx - groupWidth / 2;
  cairo_rectangle(cr, left, cy - kGlyphHeight / 2, kBarWidth, kGlyphHeight);
  cairo_fill(cr);
  for (int i = 0; i < triangles; ++i)
    fillTriangle(cr, left + kBarWidth + 1 + i * triangleWidth, cy, triangleWidth, kGlyphHeight, -1);
}

void drawMagnifier(cairo_t *cr, double cx, double cy, bool plus) {
  const double lensX = cx - 2, lensY = cy - 2, radius = 6;
  cairo_set_line_width(cr, 2);
  cairo_arc(cr, lensX, lensY, radius, 0, 2 * M_PI);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 3.2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  const double handle = radius + 1.5;
  cairo_move_to(cr, lensX + handle * M_SQRT1_2, lensY + handle * M_SQRT1_2);
  cairo_line_to(cr, lensX + (handle + 5) * M_SQRT1_2, lensY + (handle + 5) * M_SQRT1_2);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_move_to(cr, lensX - 3.5, lensY);
  cairo_line_to(cr, lensX + 3.5, lensY);
  if (plus) {
    cairo_move_to(cr, lensX, lensY - 3.5);
    cairo_line_to(cr, lensX, lensY + 3.5);
  }
  cairo_stroke(cr);
}

}  // namespace

void drawButtonGlyph(cairo_t *cr, int width, int height, ButtonGlyph glyph) {
  const double cx = width / 2.0, cy = height / 2.0;
  // Play and stop take turns on one button and share the livelier blue.
  setColor(cr,
           glyph == ButtonGlyph::Play || glyph == ButtonGlyph::Stop ? palette::kMidBlue : palette::kDeepBlue);
  // The forward steps are the backward ones mirrored.
  if (glyph == ButtonGlyph::NextImage || glyph == ButtonGlyph::NextSeries) {
    cairo_translate(cr, width, 0);
    cairo_scale(cr, -1, 1);
  }
  switch (glyph) {
    case ButtonGlyph::Play:
      fillTriangle(cr, cx + 6, cy, 12, 14, 1);
      break;
    case ButtonGlyph::Stop:
      roundedRectangle(cr, cx - 5.5, cy - 5.5, 11, 11, 1.5);
      cairo_fill(cr);
      break;
    case ButtonGlyph::PreviousImage:
    case ButtonGlyph::NextImage:
      drawStepBack(cr, cx, cy, 1);
      break;
    case ButtonGlyph::PreviousSeries:
    case ButtonGlyph::NextSeries:
      drawStepBack(cr, cx, cy, 2);
      break;
    case ButtonGlyph::ZoomIn:
      drawMagnifier(cr, cx, cy, true);
      break;
    case ButtonGlyph::ZoomOut:
      drawMagnifier(cr, cx, cy, false);
      break;
  }
}

void drawTreeToggle(cairo_t *cr, int width, int height, bool unfolded) {
  // Half-pixel coordinates keep the one-pixel lines sharp.
  roundedRectangle(cr, 0.5, 0.5, width - 1, height - 1, 2);
  setColor(cr, palette::kDeepBlue);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1);
  setColor(cr, palette::kSkyBlue);
  cairo_stroke(cr);
  const double middleX = std::floor(width / 2.0) + 0.5, middleY = std::floor(height / 2.0) + 0.5;
  const double arm = std::floor(width / 2.0) - 2.5;
  setColor(cr, palette::kWhite);
  cairo_move_to(cr, middleX - arm, middleY);
  cairo_line_to(cr, middleX + arm, middleY);
  if (!unfolded) {
    cairo_move_to(cr, middleX, middleY - arm);
    cairo_line_to(cr, middleX, middleY + arm);
  }
  cairo_stroke(cr);
}

}  // namespace artwork
