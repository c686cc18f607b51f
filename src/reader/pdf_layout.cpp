// A PDF report for the reader: opening and page placement.
#include "reader/pdf_layout.h"

#include <algorithm>
#include <cmath>

namespace {

// Pages of no size, or of sizes no paper has, are drawn at a size that can be shown.
constexpr double kSmallestSide = 1;
constexpr double kLargestSide = 14400 * 100;

double usableSide(double points) {
  if (!std::isfinite(points) || points < kSmallestSide) return kSmallestSide;
  return std::min(points, kLargestSide);
}

}  // namespace

PdfOpening openPdf(GBytes *bytes) {
  PdfOpening opening;
  GError *rawError = nullptr;
  opening.document.reset(poppler_document_new_from_bytes(bytes, nullptr, &rawError));
  UniqueError error(rawError);
  if (opening.document && poppler_document_get_n_pages(opening.document.get()) > 0) return opening;
  // A document without a page is as broken as one poppler cannot read.
  if (!opening.document && error && error->domain == POPPLER_ERROR && error->code == POPPLER_ERROR_ENCRYPTED)
    opening.message = "Opis jest zabezpieczony hasłem, więc nie można go tu wyświetlić.";
  else
    opening.message = "Nie można odczytać opisu: plik jest uszkodzony albo nie jest dokumentem PDF.";
  opening.document.reset();
  return opening;
}

PdfLayout::PdfLayout(PopplerDocument *document) {
  int count = poppler_document_get_n_pages(document);
  for (int page = 0; page < count; ++page) {
    double width = 0, height = 0;
    if (page == 0 || count <= kMostMeasuredPages) {
      UniqueObject<PopplerPage> measured(poppler_document_get_page(document, page));
      if (measured) poppler_page_get_size(measured.get(), &width, &height);
    } else {
      width = widths_.front();
      height = heights_.front();
    }
    widths_.push_back(usableSide(width));
    heights_.push_back(usableSide(height));
  }
  double before = 0;
  for (double height : heights_) {
    heightsBefore_.push_back(before);
    before += height;
  }
  heightsBefore_.push_back(before);
  if (!widths_.empty()) widest_ = *std::max_element(widths_.begin(), widths_.end());
}

void PdfLayout::setViewWidth(double pixels) { viewWidth_ = std::max(pixels, 50.0); }

void PdfLayout::setZoom(double zoom) { zoom_ = std::clamp(zoom, kSmallestZoom, kLargestZoom); }

void PdfLayout::zoomIn() { setZoom(zoom_ * 1.25); }

void PdfLayout::zoomOut() { setZoom(zoom_ / 1.25); }

double PdfLayout::scale() const {
  double fit = (viewWidth_ - 2 * kGap) / widest_;
  return std::min(std::max(fit, 1e-6) * zoom_, kWidestPage / widest_);
}

double PdfLayout::documentWidth() const { return widest_ * scale() + 2 * kGap; }

double PdfLayout::documentHeight() const {
  return heightsBefore_.back() * scale() + kGap * (static_cast<double>(heights_.size()) + 1);
}

double PdfLayout::pageTop(int page) const {
  return heightsBefore_[static_cast<size_t>(page)] * scale() + kGap * (page + 1);
}

int PdfLayout::pageAt(double y) const {
  int low = 0, high = pageCount() - 1;
  while (low < high) {
    int middle = (low + high + 1) / 2;
    if (pageTop(middle) - kGap / 2 <= y)
      low = middle;
    else
      high = middle - 1;
  }
  return std::max(low, 0);
}

double PdfLayout::pageLeft(int page, double viewWidth) const {
  return std::max((std::max(viewWidth, documentWidth()) - pageWidth(page)) / 2, kGap);
}

std::string pageCaption(int page, int count) {
  return "Strona " + std::to_string(page + 1) + " z " + std::to_string(count);
}
