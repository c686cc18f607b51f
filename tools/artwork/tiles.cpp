// The main window's tiles: a pictogram above a Polish caption, on white, and
// the same tile highlighted in blue while the pointer is over it.
#include "canvas.h"
#include "drawings.h"

#include <cmath>
#include <memory>

namespace artwork {

namespace {

struct TileLook {
  Rgb background;
  Rgb border;
  double borderWidth;
  Rgb ink;     // outlines and solid parts
  Rgb accent;  // the coloured details
  Rgb soft;    // light fills and text lines
  Rgb shadow;
  Rgb glow;  // marks on the dark screen
  Rgb caption;
};

TileLook lookOf(TileState state) {
  using namespace palette;
  if (state == TileState::Highlighted)
    return {kPaleBlue, kBlue, 2.0, kDeepBlue, kMidBlue, kSkyBlue, kLightBlue, rgb(0x6cc3f0), kDeepBlue};
  return {kWhite, kLightGrey, 1.0, kSlate, kBlue, kLightGrey, kPaleGrey, kSkyBlue, kDarkSlate};
}

const char *captionOf(TileKind kind) {
  switch (kind) {
    case TileKind::Report:
      return "Opis badania";
    case TileKind::ReferencePictures:
      return "Obrazy referencyjne";
    case TileKind::DiagnosticPictures:
      return "Obrazy diagnostyczne";
  }
  return "";
}

void strokeLine(cairo_t *cr, double x1, double y1, double x2, double y2) {
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
  cairo_stroke(cr);
}

using PatternPtr = std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)>;

// Draws the unit circle with the body's grey tissue and a bright rim of bone,
// in a space scaled to the slice's two radii.
void fillSliceBody(cairo_t *cr) {
  PatternPtr tissue(cairo_pattern_create_radial(0, -0.1, 0.05, 0, 0, 1), cairo_pattern_destroy);
  cairo_pattern_add_color_stop_rgb(tissue.get(), 0.0, 0.60, 0.62, 0.64);
  cairo_pattern_add_color_stop_rgb(tissue.get(), 0.80, 0.47, 0.49, 0.52);
  cairo_pattern_add_color_stop_rgb(tissue.get(), 0.87, 0.92, 0.93, 0.94);
  cairo_pattern_add_color_stop_rgb(tissue.get(), 0.97, 0.78, 0.80, 0.82);
  cairo_pattern_add_color_stop_rgba(tissue.get(), 1.0, 0.3, 0.3, 0.3, 0.0);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_set_source(cr, tissue.get());
  cairo_fill(cr);
}

void fillEllipse(cairo_t *cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_fill(cr);
}

// An axial slice of the head as a scanner shows it: skull, brain, the midline
// and the small ventricles in the middle.
void drawHeadSlice(cairo_t *cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  fillSliceBody(cr);
  cairo_set_source_rgba(cr, 0.16, 0.17, 0.19, 0.8);
  cairo_rectangle(cr, -0.018, -0.84, 0.036, 0.5);
  cairo_rectangle(cr, -0.018, 0.36, 0.036, 0.48);
  cairo_fill(cr);
  cairo_set_line_width(cr, 0.08);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (double side : {-1.0, 1.0}) {
    cairo_move_to(cr, side * 0.05, -0.32);
    cairo_curve_to(cr, side * 0.2, -0.15, side * 0.2, 0.1, side * 0.05, 0.3);
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

// An axial slice of the chest: two dark lungs, the heart between them, the spine below.
void drawChestSlice(cairo_t *cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  fillSliceBody(cr);
  cairo_set_source_rgb(cr, 0.1, 0.11, 0.12);
  fillEllipse(cr, -0.42, -0.08, 0.3, 0.56);
  fillEllipse(cr, 0.42, -0.08, 0.3, 0.56);
  cairo_set_source_rgb(cr, 0.66, 0.68, 0.70);
  fillEllipse(cr, 0.1, 0.08, 0.22, 0.3);
  cairo_set_source_rgb(cr, 0.95, 0.96, 0.96);
  fillEllipse(cr, 0, 0.62, 0.12, 0.16);
  fillEllipse(cr, 0, -0.78, 0.06, 0.08);
  cairo_restore(cr);
}

void drawReportPage(cairo_t *cr, const TileLook &look, double cx, double cy) {
  const double width = 66, height = 84, fold = 17;
  const double left = std::round(cx - width / 2) + 0.5, top = std::round(cy - height / 2) + 0.5;
  auto pageOutline = [&](double dx, double dy) {
    cairo_move_to(cr, left + dx, top + dy);
    cairo_line_to(cr, left + dx + width - fold, top + dy);
    cairo_line_to(cr, left + dx + width, top + dy + fold);
    cairo_line_to(cr, left + dx + width, top + dy + height);
    cairo_line_to(cr, left + dx, top + dy + height);
    cairo_close_path(cr);
  };
  pageOutline(4, 4);
  setColor(cr, look.shadow);
  cairo_fill(cr);
  pageOutline(0, 0);
  setColor(cr, palette::kWhite);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 2);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  setColor(cr, look.ink);
  cairo_stroke(cr);
  // The folded corner.
  cairo_move_to(cr, left + width - fold, top);
  cairo_line_to(cr, left + width - fold, top + fold);
  cairo_line_to(cr, left + width, top + fold);
  cairo_close_path(cr);
  setColor(cr, look.soft);
  cairo_fill_preserve(cr);
  setColor(cr, look.ink);
  cairo_stroke(cr);
  // Letterhead, text lines and a signature.
  setColor(cr, look.accent);
  roundedRectangle(cr, left + 8, top + 9, 22, 7, 1.5);
  cairo_fill(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 3);
  setColor(cr, look.soft);
  const double lineEnds[] = {50, 40, 50, 46, 50, 32};
  for (int i = 0; i < 6; ++i) {
    const double y = top + 28 + i * 8;
    strokeLine(cr, left + 10, y, left + 10 + lineEnds[i] - (i == 0 ? 0 : 4), y);
  }
  cairo_set_line_width(cr, 1.8);
  setColor(cr, look.accent);
  cairo_move_to(cr, left + 36, top + height - 10);
  cairo_curve_to(cr, left + 42, top + height - 18, left + 45, top + height - 4, left + 50, top + height - 12);
  cairo_curve_to(cr, left + 53, top + height - 16, left + 54, top + height - 8, left + 58, top + height - 10);
  cairo_stroke(cr);
}

void drawFilmStrip(cairo_t *cr, const TileLook &look, double cx, double cy) {
  const double width = 116, height = 66;
  const double left = cx - width / 2, top = cy - height / 2;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_rotate(cr, -5 * M_PI / 180);
  cairo_translate(cr, -cx, -cy);
  roundedRectangle(cr, left + 4, top + 4, width, height, 4);
  setColor(cr, look.shadow);
  cairo_fill(cr);
  roundedRectangle(cr, left, top, width, height, 4);
  setColor(cr, look.ink);
  cairo_fill(cr);
  // Sprocket holes along both edges.
  setColor(cr, look.background);
  for (double x = left + 6; x + 6 <= left + width - 4; x += 11) {
    roundedRectangle(cr, x, top + 4, 6, 5, 1);
    roundedRectangle(cr, x, top + height - 9, 6, 5, 1);
  }
  cairo_fill(cr);
  const double frameWidth = 48, frameHeight = 40, frameTop = top + 13;
  for (int i = 0; i < 2; ++i) {
    const double frameLeft = left + 7 + i * (frameWidth + 6);
    cairo_rectangle(cr, frameLeft, frameTop, frameWidth, frameHeight);
    cairo_set_source_rgb(cr, 0.04, 0.05, 0.06);
    cairo_fill(cr);
    cairo_save(cr);
    cairo_rectangle(cr, frameLeft, frameTop, frameWidth, frameHeight);
    cairo_clip(cr);
    if (i == 0)
      drawHeadSlice(cr, frameLeft + frameWidth / 2, frameTop + frameHeight / 2, 14, 17);
    else
      drawChestSlice(cr, frameLeft + frameWidth / 2, frameTop + frameHeight / 2 + 1, 21, 15);
    cairo_restore(cr);
  }
  // The chosen frame is marked in the accent colour.
  cairo_set_line_width(cr, 2);
  setColor(cr, look.accent);
  cairo_rectangle(cr, left + 7 + frameWidth + 6 - 1, frameTop - 1, frameWidth + 2, frameHeight + 2);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void drawMonitor(cairo_t *cr, const TileLook &look, double cx, double cy) {
  const double width = 108, height = 74;
  const double left = cx - width / 2, top = cy - height / 2 - 6;
  // Stand first, so the screen sits on it.
  setColor(cr, look.ink);
  cairo_move_to(cr, cx - 8, top + height - 2);
  cairo_line_to(cr, cx + 8, top + height - 2);
  cairo_line_to(cr, cx + 11, top + height + 10);
  cairo_line_to(cr, cx - 11, top + height + 10);
  cairo_close_path(cr);
  cairo_fill(cr);
  roundedRectangle(cr, cx - 26, top + height + 9, 52, 5, 2.5);
  cairo_fill(cr);
  roundedRectangle(cr, left, top, width, height, 6);
  cairo_fill(cr);
  const double screenLeft = left + 6, screenTop = top + 6, screenWidth = width - 12,
               screenHeight = height - 14;
  cairo_rectangle(cr, screenLeft, screenTop, screenWidth, screenHeight);
  cairo_set_source_rgb(cr, 0.04, 0.05, 0.06);
  cairo_fill(cr);
  cairo_save(cr);
  cairo_rectangle(cr, screenLeft, screenTop, screenWidth, screenHeight);
  cairo_clip(cr);
  const double sliceX = screenLeft + screenWidth / 2 - 8, sliceY = screenTop + screenHeight / 2;
  drawChestSlice(cr, sliceX, sliceY, 30, 21);
  // Cross-hair of the viewer and a column of readouts.
  cairo_set_line_width(cr, 1);
  setColor(cr, look.glow, 0.8);
  strokeLine(cr, sliceX - 36, sliceY + 0.5, sliceX + 34, sliceY + 0.5);
  strokeLine(cr, sliceX + 0.5, sliceY - 26, sliceX + 0.5, sliceY + 26);
  cairo_set_line_width(cr, 2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  for (int i = 0; i < 4; ++i) {
    const double y = screenTop + 8 + i * 6;
    strokeLine(cr, screenLeft + screenWidth - 20, y, screenLeft + screenWidth - (i % 2 ? 10 : 6), y);
  }
  cairo_restore(cr);
  // Power light on the bezel.
  setColor(cr, look.glow);
  cairo_arc(cr, left + width - 10, top + height - 4, 1.5, 0, 2 * M_PI);
  cairo_fill(cr);
}

}  // namespace

void drawTile(cairo_t *cr, int width, int height, TileKind kind, TileState state) {
  const TileLook look = lookOf(state);
  cairo_rectangle(cr, 0, 0, width, height);
  setColor(cr, palette::kWhite);
  cairo_fill(cr);
  const double inset = look.borderWidth / 2 + 0.5;
  roundedRectangle(cr, inset, inset, width - 2 * inset, height - 2 * inset, 8);
  setColor(cr, look.background);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, look.borderWidth);
  setColor(cr, look.border);
  cairo_stroke(cr);

  const double pictogramX = width / 2.0, pictogramY = height * 0.41;
  switch (kind) {
    case TileKind::Report:
      drawReportPage(cr, look, pictogramX, pictogramY);
      break;
    case TileKind::ReferencePictures:
      drawFilmStrip(cr, look, pictogramX, pictogramY);
      break;
    case TileKind::DiagnosticPictures:
      drawMonitor(cr, look, pictogramX, pictogramY);
      break;
  }
  // All three captions share the size at which the longest one fits.
  TextStyle caption{14, true, look.caption};
  caption.pixelSize = fittingSize(cr, captionOf(TileKind::DiagnosticPictures), caption, width - 20);
  drawText(cr, captionOf(kind), caption, 10, width - 20, height - 20, Align::Center);
}

}  // namespace artwork
