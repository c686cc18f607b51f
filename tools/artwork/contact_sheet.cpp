// A preview of the written pictures on one sheet. The pictures are read back
// from their files, so the sheet shows what the program will load.
#include "contact_sheet.h"

#include "canvas.h"
#include "picture_table.h"

#include <gdk/gdk.h>

#include <algorithm>

namespace {

using namespace artwork;

constexpr int kSheetWidth = 960;
constexpr int kMargin = 12;
constexpr int kLabelHeight = 16;
constexpr int kSmallSide = 48;  // pictures up to this size are also shown enlarged
constexpr int kEnlargement = 4;

Rgb groundOf(Backdrop backdrop) {
  switch (backdrop) {
    case Backdrop::White:
      return palette::kWhite;
    case Backdrop::Black:
      return rgb(0x000000);
    case Backdrop::Theme:
      return rgb(0xedeceb);
    case Backdrop::Page:
      return palette::kPageSide;
  }
  return palette::kWhite;
}

struct Cell {
  const PictureEntry *entry;
  PixbufPtr picture;
  int width;
  int height;
};

int shownWidth(const PixbufPtr &picture) {
  const int width = gdk_pixbuf_get_width(picture.get());
  const bool small = width <= kSmallSide && gdk_pixbuf_get_height(picture.get()) <= kSmallSide;
  return small ? width * (1 + kEnlargement) + 8 : width;
}

void drawCell(cairo_t *cr, const Cell &cell, int left, int top) {
  setColor(cr, groundOf(cell.entry->backdrop));
  cairo_rectangle(cr, left, top, cell.width, cell.height - kLabelHeight);
  cairo_fill(cr);
  GdkPixbuf *picture = cell.picture.get();
  const int width = gdk_pixbuf_get_width(picture), height = gdk_pixbuf_get_height(picture);
  gdk_cairo_set_source_pixbuf(cr, picture, left + 4, top + 4);
  cairo_paint(cr);
  if (shownWidth(cell.picture) != width) {
    cairo_save(cr);
    cairo_translate(cr, left + width + 12, top + 4);
    cairo_scale(cr, kEnlargement, kEnlargement);
    gdk_cairo_set_source_pixbuf(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
  }
  drawText(cr, cell.entry->name, {10, false, palette::kDarkSlate}, left, cell.width,
           top + cell.height - kLabelHeight / 2.0, Align::Left);
}

}  // namespace

bool writeContactSheet(const std::string &imgDir, const std::string &sheetPath, std::string *error) {
  std::vector<Cell> cells;
  for (const PictureEntry &entry : pictureTable()) {
    GError *raw = nullptr;
    PixbufPtr picture(gdk_pixbuf_new_from_file((imgDir + "/" + entry.name).c_str(), &raw), g_object_unref);
    std::unique_ptr<GError, decltype(&g_error_free)> failure(raw, g_error_free);
    if (!picture) {
      if (error) *error = failure ? failure->message : entry.name;
      return false;
    }
    const int height = gdk_pixbuf_get_height(picture.get());
    const bool small = gdk_pixbuf_get_width(picture.get()) <= kSmallSide && height <= kSmallSide;
    const int shownHeight = small ? height * kEnlargement : height;
    const int width = std::max(shownWidth(picture) + 8, 110);
    cells.push_back({&entry, std::move(picture), width, shownHeight + 8 + kLabelHeight});
  }
  // Rows fill from the left; a row is as tall as its tallest cell.
  std::vector<std::pair<int, int>> positions;
  int x = kMargin, y = kMargin, rowHeight = 0;
  for (const Cell &cell : cells) {
    if (x + cell.width > kSheetWidth - kMargin && x > kMargin) {
      x = kMargin;
      y += rowHeight + kMargin;
      rowHeight = 0;
    }
    positions.emplace_back(x, y);
    x += cell.width + kMargin;
    rowHeight = std::max(rowHeight, cell.height);
  }
  Canvas sheet(kSheetWidth, y + rowHeight + kMargin);
  setColor(sheet.cr(), rgb(0xc8c8c8));
  cairo_paint(sheet.cr());
  for (size_t i = 0; i < cells.size(); ++i)
    drawCell(sheet.cr(), cells[i], positions[i].first, positions[i].second);
  return savePicture(sheet, sheetPath, FileType::Png, error);
}
