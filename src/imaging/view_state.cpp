// The view's rules.
#include "imaging/view_state.h"

#include "catalogue/dicom_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The letters of the patient direction a vector points to, the strongest first.
std::string directionLetters(double x, double y, double z) {
  struct Axis {
    double value;
    char positive, negative;
  } axes[] = {{x, 'L', 'R'}, {y, 'P', 'A'}, {z, 'H', 'F'}};
  std::sort(std::begin(axes), std::end(axes),
            [](const Axis &a, const Axis &b) { return std::fabs(a.value) > std::fabs(b.value); });
  std::string letters;
  for (const Axis &axis : axes)
    if (std::fabs(axis.value) > 0.25 && letters.size() < 2)
      letters += axis.value > 0 ? axis.positive : axis.negative;
  return letters;
}

std::string opposite(const std::string &letters) {
  std::string result;
  for (char letter : letters) {
    switch (letter) {
      case 'L':
        result += 'R';
        break;
      case 'R':
        result += 'L';
        break;
      case 'A':
        result += 'P';
        break;
      case 'P':
        result += 'A';
        break;
      case 'H':
        result += 'F';
        break;
      default:
        result += 'H';
        break;
    }
  }
  return result;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string result = text;
  std::replace(result.begin(), result.end(), '.', ',');
  return result;
}

}  // namespace

void stepImage(ViewState &state, long delta) {
  if (state.imageCount <= 0) return;
  state.image = std::clamp(state.image + delta, 0L, state.imageCount - 1);
}

double effectiveZoom(const ViewState &state, double fitZoom) { return state.zoom > 0 ? state.zoom : fitZoom; }

void zoomBy(ViewState &state, double factor, double fitZoom) {
  state.zoom = std::clamp(effectiveZoom(state, fitZoom) * factor, kSmallestZoom, kLargestZoom);
}

void dragWindow(ViewState &state, double dx, double dy) {
  const double step = std::max(1.0, std::round(state.display.window.width / 256));
  state.display.useVoiLut = false;
  state.display.window.width = std::max(1.0, state.display.window.width + dx * step);
  state.display.window.centre -= dy * step;
  state.windowChosen = true;
}

void showSeries(ViewState &state, size_t series, long imageCount) {
  const ViewState fresh;
  state.series = series;
  state.imageCount = imageCount;
  state.image = imageCount / 2;
  state.windowChosen = false;
  state.preset = 0;
  state.zoom = fresh.zoom;
  state.panX = state.panY = 0;
  state.quarterTurns = 0;
  state.flipped = false;
  state.display.invert = false;
  state.cine = false;
}

bool applyViewAction(ViewState &state, ViewAction action, double fitZoom) {
  switch (action) {
    case ViewAction::nextImage:
      stepImage(state, 1);
      break;
    case ViewAction::previousImage:
      stepImage(state, -1);
      break;
    case ViewAction::firstImage:
      state.image = 0;
      break;
    case ViewAction::lastImage:
      state.image = std::max(0L, state.imageCount - 1);
      break;
    case ViewAction::nextSeries:
    case ViewAction::previousSeries: {
      const size_t target = action == ViewAction::nextSeries ? state.series + 1 : state.series - 1;
      if ((action == ViewAction::previousSeries && state.series == 0) || target >= state.seriesCount)
        return false;
      state.series = target;
      return true;
    }
    case ViewAction::zoomIn:
      zoomBy(state, 1.25, fitZoom);
      break;
    case ViewAction::zoomOut:
      zoomBy(state, 0.8, fitZoom);
      break;
    case ViewAction::zoomToFit:
      state.zoom = 0;
      state.panX = state.panY = 0;
      break;
    case ViewAction::zoomOneToOne:
      state.zoom = 1;
      break;
    case ViewAction::rotate:
      state.quarterTurns = (state.quarterTurns + 1) % 4;
      break;
    case ViewAction::flip:
      state.flipped = !state.flipped;
      break;
    case ViewAction::invert:
      state.display.invert = !state.display.invert;
      break;
    case ViewAction::resetView: {
      const long image = state.image;
      showSeries(state, state.series, state.imageCount);
      state.image = image;
      break;
    }
    case ViewAction::toggleOverlay:
      state.overlay = !state.overlay;
      break;
    case ViewAction::toggleCine:
      state.cine = !state.cine && state.imageCount > 1;
      break;
    case ViewAction::cineFaster:
      state.cineFramesPerSecond = std::min(kFastestCine, state.cineFramesPerSecond + 5);
      break;
    case ViewAction::cineSlower:
      state.cineFramesPerSecond = std::max(kSlowestCine, state.cineFramesPerSecond - 5);
      break;
    case ViewAction::nextPreset:
      ++state.preset;
      break;
    case ViewAction::panLeft:
    case ViewAction::panRight:
      state.panX += action == ViewAction::panRight ? kPanStep : -kPanStep;
      break;
    case ViewAction::panUp:
    case ViewAction::panDown:
      state.panY += action == ViewAction::panDown ? kPanStep : -kPanStep;
      break;
    case ViewAction::windowWider:
    case ViewAction::windowNarrower:
      dragWindow(state, action == ViewAction::windowWider ? kWindowKeyStep : -kWindowKeyStep, 0);
      break;
    case ViewAction::windowCentreUp:
    case ViewAction::windowCentreDown:
      dragWindow(state, 0, action == ViewAction::windowCentreDown ? kWindowKeyStep : -kWindowKeyStep);
      break;
    case ViewAction::nextLayout:
    case ViewAction::nextCell:
    case ViewAction::toggleLink:
    case ViewAction::showAttributes:
    case ViewAction::savePicture:
    case ViewAction::copyPicture:
    case ViewAction::printPicture:
    case ViewAction::help:
      break;
  }
  return false;
}

std::array<std::string, 4> orientationLetters(const ImageAttributes &attributes, int quarterTurns,
                                              bool flipped) {
  if (!attributes.orientation) return {};
  const auto &o = *attributes.orientation;
  // Right edge: the row direction; bottom edge: the column direction.
  std::string right = directionLetters(o[0], o[1], o[2]), bottom = directionLetters(o[3], o[4], o[5]);
  std::string left = opposite(right), top = opposite(bottom);
  for (int turn = 0; turn < ((quarterTurns % 4) + 4) % 4; ++turn) {
    // A clockwise turn brings the left edge to the top.
    std::string oldTop = top;
    top = left;
    left = bottom;
    bottom = right;
    right = oldTop;
  }
  if (flipped) std::swap(left, right);
  return {left, right, top, bottom};
}

std::string readableDate(const std::string &date) {
  if (date.size() == 8 && std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return date.substr(6, 2) + "." + date.substr(4, 2) + "." + date.substr(0, 4);
  return date;
}

std::string readableName(const std::string &name) { return readablePersonName(name); }

std::string imagePositionText(const ImageAttributes &attributes, const ViewState &state) {
  std::string text = "Obraz " + std::to_string(state.image + 1) + " z " + std::to_string(state.imageCount);
  if (attributes.sliceLocation) text += ", położenie " + number(*attributes.sliceLocation) + " mm";
  if (attributes.sliceThickness) text += ", grubość " + number(*attributes.sliceThickness) + " mm";
  return text;
}

const char *const kWithoutModalityUnits = "Obraz bez przeliczenia na jednostki modalności";

std::array<std::vector<std::string>, 4> overlayLines(const ImageAttributes &a, const ViewState &state,
                                                     double zoom) {
  std::array<std::vector<std::string>, 4> lines;
  lines[0] = {readableName(a.patientName), "ID: " + a.patientId,
              "Data urodzenia: " + readableDate(a.birthDate)};
  lines[1] = {a.institution, readableDate(a.studyDate), a.studyDescription,
              "Seria " + std::to_string(a.seriesNumber) + ": " + a.seriesDescription};
  lines[2] = {imagePositionText(a, state), "Okno: " + windowText(state.display)};
  if (a.withoutModalityUnits()) lines[2].push_back(kWithoutModalityUnits);
  lines[3] = {"Powiększenie: " + std::to_string(static_cast<int>(std::lround(zoom * 100))) + "%"};
  return lines;
}
