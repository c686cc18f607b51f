// Drawing helpers shared by every picture of the artwork: the palette, a cairo
// canvas, shapes, text, and saving a canvas as PNG, JPEG or ICO.
#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <memory>
#include <string>

namespace artwork {

struct Rgb {
  double r, g, b;
};

constexpr Rgb rgb(unsigned hex) {
  return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0};
}

// One palette for everything: a calm medical blue, greys and white. kBlue is the
// filled part of the program's own progress bar.
namespace palette {
constexpr Rgb kWhite = rgb(0xffffff);
constexpr Rgb kPaleBlue = rgb(0xeaf3fa);
constexpr Rgb kLightBlue = rgb(0xbcdaee);
constexpr Rgb kSkyBlue = rgb(0x7fb8dc);
constexpr Rgb kBlue = rgb(0x4e9dc6);
constexpr Rgb kMidBlue = rgb(0x2f7bad);
constexpr Rgb kDeepBlue = rgb(0x1d5a85);
constexpr Rgb kNavy = rgb(0x163f5f);
constexpr Rgb kPaleGrey = rgb(0xeef1f4);
constexpr Rgb kLightGrey = rgb(0xd3dae1);
constexpr Rgb kGrey = rgb(0x9aa6b2);
constexpr Rgb kSlate = rgb(0x5d6b79);
constexpr Rgb kDarkSlate = rgb(0x34414e);
constexpr Rgb kCharcoal = rgb(0x1e2831);
// Background of the report page's side columns, fixed by the page's style sheet.
constexpr Rgb kPageSide = rgb(0xdee0e0);
}  // namespace palette

constexpr const char *kFontFamily = "DejaVu Sans";

using PixbufPtr = std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)>;

// An ARGB image surface with its drawing context, cleared to transparent.
class Canvas {
 public:
  Canvas(int width, int height);
  cairo_t *cr() const { return cr_.get(); }
  cairo_surface_t *surface() const { return surface_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_;
  int height_;
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface_;
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr_;
};

// Cairo keeps colours premultiplied by alpha in native-endian words; a pixbuf
// holds straight RGBA bytes. Without alpha the picture is laid over white.
PixbufPtr surfaceToPixbuf(cairo_surface_t *surface, bool keepAlpha);

enum class FileType { Png, Jpeg, Ico };

// Saves the canvas; false with a message in *error when it cannot be written.
bool savePicture(const Canvas &canvas, const std::string &path, FileType type, std::string *error);

void setColor(cairo_t *cr, Rgb color, double alpha = 1.0);
void roundedRectangle(cairo_t *cr, double x, double y, double width, double height, double radius);
// Fills the rectangle with a gradient from top to bottom.
void fillVerticalGradient(cairo_t *cr, double x, double y, double width, double height, Rgb top, Rgb bottom);
// A triangle pointing left (direction -1) or right (+1), tip at tipX.
void fillTriangle(cairo_t *cr, double tipX, double centerY, double width, double height, int direction);

enum class Align { Left, Center, Right };

struct TextStyle {
  double pixelSize;
  bool bold;
  Rgb color;
};

// Largest size, at most style.pixelSize, at which the text fits maxWidth.
double fittingSize(cairo_t *cr, const std::string &text, TextStyle style, double maxWidth);
// Draws one line of text (UTF-8, or Pango markup when markup is set) in the box
// left..left+width, vertically centred on centerY, shrunk to fit the box.
void drawText(cairo_t *cr, const std::string &text, TextStyle style, double left, double width,
              double centerY, Align align, bool markup = false);

}  // namespace artwork
