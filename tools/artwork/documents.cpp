// Pictures about reports: the chooser's HTML and PDF icons (on black) and the
// badge beside the prompt to install a PDF reader.
#include "canvas.h"
#include "drawings.h"

#include <cmath>

namespace artwork {

namespace {

void pagePath(cairo_t *cr, double left, double top, double width, double height, double fold) {
  cairo_move_to(cr, left, top);
  cairo_line_to(cr, left + width - fold, top);
  cairo_line_to(cr, left + width, top + fold);
  cairo_line_to(cr, left + width, top + height);
  cairo_line_to(cr, left, top + height);
  cairo_close_path(cr);
}

void textLines(cairo_t *cr, double left, double top, int count, double length) {
  cairo_set_line_width(cr, 3);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  setColor(cr, palette::kLightGrey);
  for (int i = 0; i < count; ++i) {
    const double y = top + i * 7;
    cairo_move_to(cr, left, y);
    cairo_line_to(cr, left + length - (i % 3 == 2 ? 12 : 0), y);
  }
  cairo_stroke(cr);
}

// The page in the style of a browser: a bar with three dots and a field.
void drawBrowserBar(cairo_t *cr, double left, double top, double width) {
  roundedRectangle(cr, left, top, width, 11, 2);
  setColor(cr, palette::kPaleBlue);
  cairo_fill(cr);
  setColor(cr, palette::kSkyBlue);
  for (int i = 0; i < 3; ++i) cairo_arc(cr, left + 4.5 + i * 5, top + 5.5, 1.6, 0, 2 * M_PI);
  cairo_fill(cr);
  roundedRectangle(cr, left + 19, top + 3, width - 22, 5, 2.5);
  setColor(cr, palette::kWhite);
  cairo_fill(cr);
}

}  // namespace

void drawDocumentIcon(cairo_t *cr, int width, int height, DocumentKind kind) {
  const double pageWidth = 62, pageHeight = 80, fold = 18;
  const double left = std::round((width - pageWidth) / 2) + 4, top = std::round((height - pageHeight) / 2);
  pagePath(cr, left, top, pageWidth, pageHeight, fold);
  setColor(cr, palette::kWhite);
  cairo_fill(cr);
  cairo_move_to(cr, left + pageWidth - fold, top);
  cairo_line_to(cr, left + pageWidth - fold, top + fold);
  cairo_line_to(cr, left + pageWidth, top + fold);
  cairo_close_path(cr);
  setColor(cr, palette::kLightGrey);
  cairo_fill(cr);

  if (kind == DocumentKind::Html) {
    drawBrowserBar(cr, left + 6, top + 22, pageWidth - 12);
    textLines(cr, left + 9, top + 41, 2, pageWidth - 18);
  } else {
    textLines(cr, left + 9, top + 10, 2, pageWidth - fold - 14);
    textLines(cr, left + 9, top + 27, 3, pageWidth - 18);
  }

  // The kind's label, standing out past the page's left edge.
  const double labelLeft = left - 12, labelTop = top + pageHeight - 30, labelWidth = pageWidth - 4;
  roundedRectangle(cr, labelLeft, labelTop, labelWidth, 21, 3);
  setColor(cr, kind == DocumentKind::Html ? palette::kMidBlue : palette::kNavy);
  cairo_fill(cr);
  drawText(cr, kind == DocumentKind::Html ? "HTML" : "PDF", {15, true, palette::kWhite}, labelLeft + 2,
           labelWidth - 4, labelTop + 10.5, Align::Center);
}

void drawReaderBadge(cairo_t *cr, int width, int height) {
  roundedRectangle(cr, 0.5, 0.5, width - 1, height - 1, 6);
  std::unique_ptr<cairo_pattern_t, decltype(&cairo_pattern_destroy)> gradient(
      cairo_pattern_create_linear(0, 0, 0, height), cairo_pattern_destroy);
  cairo_pattern_add_color_stop_rgb(gradient.get(), 0, palette::kBlue.r, palette::kBlue.g, palette::kBlue.b);
  cairo_pattern_add_color_stop_rgb(gradient.get(), 1, palette::kMidBlue.r, palette::kMidBlue.g,
                                   palette::kMidBlue.b);
  cairo_set_source(cr, gradient.get());
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1);
  setColor(cr, palette::kDeepBlue);
  cairo_stroke(cr);

  // A small page with an arrow pointing down into it.
  const double pageLeft = 10, pageTop = 7, pageWidth = 20, pageHeight = 25;
  pagePath(cr, pageLeft, pageTop, pageWidth, pageHeight, 6);
  setColor(cr, palette::kWhite);
  cairo_fill(cr);
  setColor(cr, palette::kMidBlue);
  const double arrowX = pageLeft + pageWidth / 2;
  cairo_rectangle(cr, arrowX - 1.5, pageTop + 6, 3, 9);
  cairo_fill(cr);
  cairo_move_to(cr, arrowX - 6, pageTop + 13);
  cairo_line_to(cr, arrowX + 6, pageTop + 13);
  cairo_line_to(cr, arrowX, pageTop + 20);
  cairo_close_path(cr);
  cairo_fill(cr);

  const double textLeft = pageLeft + pageWidth + 9;
  drawText(cr, "Pobierz", {11, false, palette::kPaleBlue}, textLeft, width - textLeft - 8, 12.5, Align::Left);
  drawText(cr, "czytnik PDF", {14, true, palette::kWhite}, textLeft, width - textLeft - 8, 26, Align::Left);
}

}  // namespace artwork
