// A PDF report for the reader: opening it with poppler, and where its pages
// stand at a zoom. No widgets; the window draws what this places.
#pragma once

#include "platform/glib_owners.h"

#include <poppler.h>

#include <cstddef>
#include <string>
#include <vector>

// A PDF file larger than this is not read into memory.
constexpr size_t kMostPdfBytes = 256 * 1024 * 1024;

// Documents of more pages than this are laid out with every page the size of
// the first (each drawn to fit its place): measuring them all would keep the
// window from opening in time.
constexpr int kMostMeasuredPages = 1000;

struct PdfOpening {
  UniqueObject<PopplerDocument> document;
  // Why there is no document, for the user; empty when there is one.
  std::string message;
};

// Opens the PDF whose bytes are `bytes` (kept by the document).
PdfOpening openPdf(GBytes *bytes);

// The pages one under the other, centred, with a gap, at a scale of pixels per point.
class PdfLayout {
 public:
  static constexpr double kGap = 12;
  static constexpr double kSmallestZoom = 0.25;
  static constexpr double kLargestZoom = 8;
  // A page is never drawn wider than this many pixels, however far it is zoomed.
  static constexpr double kWidestPage = 12000;

  // Measures the pages of `document` (see kMostMeasuredPages).
  explicit PdfLayout(PopplerDocument *document);

  int pageCount() const { return static_cast<int>(heights_.size()); }

  // The zoom is relative to fit-width: 1 fits the widest page to the view.
  void setViewWidth(double pixels);
  void setZoom(double zoom);
  double zoom() const { return zoom_; }
  // One step in or out, within the bounds.
  void zoomIn();
  void zoomOut();

  double scale() const;
  double documentWidth() const;
  double documentHeight() const;
  // The page's top edge, in pixels from the document's top; its size in pixels.
  double pageTop(int page) const;
  double pageWidth(int page) const { return widths_[static_cast<size_t>(page)] * scale(); }
  double pageHeight(int page) const { return heights_[static_cast<size_t>(page)] * scale(); }
  // The page at document height `y` (the nearest one in a gap); 0 without pages.
  int pageAt(double y) const;
  // The page's left edge, centred in a view of `viewWidth` pixels.
  double pageLeft(int page, double viewWidth) const;

  // The page's size in points as poppler gives it.
  double pointWidth(int page) const { return widths_[static_cast<size_t>(page)]; }
  double pointHeight(int page) const { return heights_[static_cast<size_t>(page)]; }

 private:
  std::vector<double> widths_;
  std::vector<double> heights_;
  // Heights in points of the pages before each page.
  std::vector<double> heightsBefore_;
  double widest_ = 1;
  double viewWidth_ = 600;
  double zoom_ = 1;
};

// "Strona N z M" for the page `page` (counted from 0) of `count`.
std::string pageCaption(int page, int count);
