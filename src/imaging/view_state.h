// A view of one series: which image, the window, zoom, pan, rotation, flip,
// overlays and cine, and every input as an action on it. The window draws
// from this state and never keeps any of its own.
#pragma once

#include "imaging/display_mapping.h"

#include <array>
#include <string>
#include <vector>

enum class ViewAction {
  nextImage,
  previousImage,
  nextSeries,
  previousSeries,
  firstImage,
  lastImage,
  zoomIn,
  zoomOut,
  zoomToFit,
  zoomOneToOne,
  rotate,
  flip,
  invert,
  resetView,
  toggleOverlay,
  toggleCine,
  cineFaster,
  cineSlower,
  nextPreset,
  panLeft,
  panRight,
  panUp,
  panDown,
  windowWider,
  windowNarrower,
  windowCentreUp,
  windowCentreDown,
  // The window's own: its layout of cells and the link between them.
  nextLayout,
  nextCell,
  toggleLink,
  // Run by the window, not on the view state.
  showAttributes,
  savePicture,
  copyPicture,
  printPicture,
  help,
};

struct ViewState {
  size_t series = 0;
  long image = 0;
  long imageCount = 0;
  size_t seriesCount = 0;
  // The window; `windowChosen` once the user set one, else the file's.
  DisplaySettings display;
  bool windowChosen = false;
  size_t preset = 0;  // the preset last chosen with nextPreset
  double zoom = 0;    // picture pixels per screen pixel; 0: fit to the view
  double panX = 0, panY = 0;
  int quarterTurns = 0;  // clockwise
  bool flipped = false;  // left and right swapped, after turning
  bool overlay = true;
  bool cine = false;
  int cineFramesPerSecond = 10;
};

constexpr double kSmallestZoom = 0.05;
constexpr double kLargestZoom = 32;
constexpr int kSlowestCine = 1;
constexpr int kFastestCine = 60;
// A pan key moves the picture this many screen pixels; a window key changes
// the window as a drag of this many pixels does, a finer step than a drag.
constexpr double kPanStep = 40;
constexpr double kWindowKeyStep = 5;

// Applies `action`; `fitZoom` is the zoom that fits the picture in the view.
// Returns whether the series changed (its first image must be shown anew).
bool applyViewAction(ViewState &state, ViewAction action, double fitZoom);
// Steps `delta` images, kept within the series.
void stepImage(ViewState &state, long delta);
// Multiplies the zoom (from the fitted zoom when it fits), within the limits.
void zoomBy(ViewState &state, double factor, double fitZoom);
// A right-button drag of `dx`, `dy` screen pixels: right widens the window,
// down raises the centre, by a step that follows the window's width.
void dragWindow(ViewState &state, double dx, double dy);
// Shows the series `series` from its middle image, the view as it starts.
void showSeries(ViewState &state, size_t series, long imageCount);

// The zoom actually used.
double effectiveZoom(const ViewState &state, double fitZoom);

// Letters at the edges (left, right, top, bottom) from Image Orientation
// (Patient), in the standard's letters R, L, A, P, H, F that reports use, up
// to two per edge for an oblique plane, after the view's turns and flip.
// Empty texts without an orientation.
std::array<std::string, 4> orientationLetters(const ImageAttributes &attributes, int quarterTurns,
                                              bool flipped);

// Said of a grey image whose values the file gives no units for.
extern const char *const kWithoutModalityUnits;
// The overlay's lines: top left (patient), top right (study), bottom left
// (image, window and, without units, kWithoutModalityUnits), bottom right (zoom).
std::array<std::vector<std::string>, 4> overlayLines(const ImageAttributes &attributes,
                                                     const ViewState &state, double zoom);
// "Obraz N z M", and the slice location and thickness when the file gives them.
std::string imagePositionText(const ImageAttributes &attributes, const ViewState &state);
// A DICOM date (YYYYMMDD) as DD.MM.YYYY; other texts as they are.
std::string readableDate(const std::string &date);
// A person name with its component separators as blanks.
std::string readableName(const std::string &name);
