// The zoom of the browser's large picture as numbers: the step of one press,
// the smallest and largest shown sizes, and the factor that fits a view.
#pragma once

#include <utility>

// Each zoom press scales the picture by this factor, up or down.
constexpr double kZoomStep = 1.2;

// The shown picture is never narrower or lower than this many pixels.
constexpr int kSmallestShownSide = 20;

// Nor larger than this on its longer side: a bigger picture would cost hundreds
// of megabytes, so it is shown at this size whatever the zoom factor says.
constexpr int kLargestShownSide = 8192;

// The largest zoom factor that still changes how a width x height picture is
// shown: at it the longer side reaches kLargestShownSide.
double largestUsefulZoom(int width, int height);

// Width and height of a width x height picture shown at `factor`: each side
// the integer part of factor times the side, at least kSmallestShownSide; a
// result longer than kLargestShownSide is scaled down to it, keeping its shape.
std::pair<int, int> shownPictureSize(int width, int height, double factor);

// The factor after a zoom-in press on a width x height picture shown at
// `factor`: one step larger, but no larger than largestUsefulZoom, so the last
// press before the limit still shows the picture at the largest size.
double zoomedInFactor(int width, int height, double factor);

// The factor that fits a width x height picture into a viewWidth x viewHeight
// area, never one that would make its longer side pass kLargestShownSide.
double fitViewFactor(int width, int height, int viewWidth, int viewHeight);
