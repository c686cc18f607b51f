// The pictures of the artwork, each drawn onto a cairo context of its size.
#pragma once

#include <cairo.h>

namespace artwork {

// tiles.cpp: the main window's three tiles.
enum class TileKind { Report, ReferencePictures, DiagnosticPictures };
enum class TileState { Normal, Highlighted };
void drawTile(cairo_t *cr, int width, int height, TileKind kind, TileState state);

// controls.cpp: the browser's button pictures and the tree's fold pictures.
enum class ButtonGlyph { Play, Stop, PreviousImage, NextImage, PreviousSeries, NextSeries, ZoomIn, ZoomOut };
void drawButtonGlyph(cairo_t *cr, int width, int height, ButtonGlyph glyph);
void drawTreeToggle(cairo_t *cr, int width, int height, bool unfolded);

// brand.cpp: the emblem and the pictures that carry it.
// The emblem fills the square left, top, size: a blue rounded square with a white
// scanner ring, or on blue ground the same in white and blue.
void drawEmblem(cairo_t *cr, double left, double top, double size, bool onBlue = false);
void drawProgramIcon(cairo_t *cr, int width, int height);
void drawStatusPoweredBy(cairo_t *cr, int width, int height);

// documents.cpp: report icons of the chooser and the PDF reader badge.
enum class DocumentKind { Html, Pdf };
void drawDocumentIcon(cairo_t *cr, int width, int height, DocumentKind kind);
void drawReaderBadge(cairo_t *cr, int width, int height);

// page_design.cpp: the pictures of the report page's frame.
void drawHeaderBackground(cairo_t *cr, int width, int height);
void drawHeaderLeft(cairo_t *cr, int width, int height);
void drawHeaderRight(cairo_t *cr, int width, int height);
// The shade that the page casts on the side column left (pageOnRight) or right of it.
void drawSideShadow(cairo_t *cr, int width, int height, bool pageOnRight);
void drawFooterBackground(cairo_t *cr, int width, int height);
void drawFooterCorner(cairo_t *cr, int width, int height);
void drawFooterPoweredBy(cairo_t *cr, int width, int height);

}  // namespace artwork
