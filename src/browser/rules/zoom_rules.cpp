// The zoom of the browser's large picture as numbers.
#include "browser/rules/zoom_rules.h"

#include <algorithm>

double largestUsefulZoom(int width, int height) {
  return static_cast<double>(kLargestShownSide) / std::max(1, std::max(width, height));
}

std::pair<int, int> shownPictureSize(int width, int height, double factor) {
  double scaledWidth = factor * width;
  double scaledHeight = factor * height;
  if (scaledWidth >= scaledHeight && scaledWidth > kLargestShownSide) {
    scaledHeight = scaledHeight * kLargestShownSide / scaledWidth;
    scaledWidth = kLargestShownSide;
  } else if (scaledHeight > scaledWidth && scaledHeight > kLargestShownSide) {
    scaledWidth = scaledWidth * kLargestShownSide / scaledHeight;
    scaledHeight = kLargestShownSide;
  }
  return {std::max(kSmallestShownSide, static_cast<int>(scaledWidth)),
          std::max(kSmallestShownSide, static_cast<int>(scaledHeight))};
}

double zoomedInFactor(int width, int height, double factor) {
  return std::max(factor, std::min(factor * kZoomStep, largestUsefulZoom(width, height)));
}

double fitViewFactor(int width, int height, int viewWidth, int viewHeight) {
  if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0) return 1.0;
  double factor = std::min(static_cast<double>(viewWidth) / width, static_cast<double>(viewHeight) / height);
  return std::min(factor, static_cast<double>(kLargestShownSide) / std::max(width, height));
}
