// The output lookup. The window is DICOM's linear function (as DCMTK applies
// it), so the picture matches what DCMTK's own tools render.
#include "imaging/display_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

uint8_t level(double fraction) {
  return static_cast<uint8_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * 255.0));
}

double windowed(double value, const Window &window) {
  const double width = std::max(1.0, window.width);
  const double lower = window.centre - 0.5 - (width - 1) / 2;
  const double upper = window.centre - 0.5 + (width - 1) / 2;
  if (value <= lower) return 0;
  if (value > upper) return 1;
  return width <= 1 ? 1 : ((value - (window.centre - 0.5)) / (width - 1) + 0.5);
}

}  // namespace

double modalityValue(const ImageAttributes &attributes, double stored) {
  if (attributes.modalityLut) return (*attributes.modalityLut)(stored);
  return stored * attributes.slope + attributes.intercept;
}

Window fullRangeWindow(const DecodedFrame &frame) {
  double lower = modalityValue(frame.attributes, static_cast<double>(frame.minStored));
  double upper = lower;
  // A rescale is monotonic, so its ends are the range's; a table need not be.
  const int64_t step =
      frame.attributes.modalityLut ? 1 : std::max<int64_t>(1, frame.maxStored - frame.minStored);
  for (int64_t value = frame.minStored + step; value <= frame.maxStored; value += step) {
    const double mapped = modalityValue(frame.attributes, static_cast<double>(value));
    lower = std::min(lower, mapped);
    upper = std::max(upper, mapped);
  }
  return {(lower + upper + 1) / 2, std::max(1.0, upper - lower + 1)};
}

DisplaySettings settingsFromFile(const DecodedFrame &frame) {
  DisplaySettings settings;
  const ImageAttributes &a = frame.attributes;
  if (!a.windows.empty())
    settings.window = {a.windows.front()[0], a.windows.front()[1]};
  else if (a.voiLut)
    settings.useVoiLut = true;
  else
    settings.window = fullRangeWindow(frame);
  return settings;
}

std::vector<WindowPreset> windowPresetsFor(const std::string &modality) {
  std::vector<WindowPreset> presets = {{"z pliku", {0, 0}}};
  if (modality == "CT")
    presets.insert(
        presets.end(),
        {{"mózg", {40, 80}}, {"tkanki miękkie", {40, 400}}, {"płuca", {-600, 1500}}, {"kości", {400, 1800}}});
  presets.push_back({"pełny zakres", {0, -1}});
  return presets;
}

DisplaySettings presetSettings(const WindowPreset &preset, const DecodedFrame &frame) {
  if (preset.window.width == 0) return settingsFromFile(frame);
  DisplaySettings settings;
  settings.window = preset.window.width < 0 ? fullRangeWindow(frame) : preset.window;
  return settings;
}

std::vector<uint8_t> buildOutputLookup(const DecodedFrame &frame, const DisplaySettings &settings) {
  if (frame.colour || frame.levels.empty()) return {};
  const ImageAttributes &a = frame.attributes;
  const bool inverted = (a.photometric == "MONOCHROME1") != settings.invert;
  std::vector<uint8_t> lookup(
      static_cast<size_t>(std::clamp<int64_t>(frame.maxStored - frame.minStored + 1, 1, int64_t{1} << 16)));
  const bool lut = settings.useVoiLut && a.voiLut && !a.voiLut->data.empty();
  const double lutTop = lut ? std::ldexp(1.0, a.voiLut->bits) - 1 : 1;
  for (size_t i = 0; i < lookup.size(); ++i) {
    const double value = modalityValue(a, static_cast<double>(frame.minStored) + static_cast<double>(i));
    double fraction;
    if (lut) {
      fraction = (*a.voiLut)(value) / lutTop;
    } else {
      fraction = windowed(value, settings.window);
    }
    lookup[i] = level(inverted ? 1 - fraction : fraction);
  }
  // Every level a frame can hold has an entry, so that no pixel, whatever
  // its value, reads outside the table.
  lookup.resize(size_t{1} << 16, lookup.back());
  return lookup;
}

void renderFrame(const DecodedFrame &frame, const std::vector<uint8_t> &lookup, bool invertColour,
                 uint8_t *rgb, int stride) {
  const size_t width = static_cast<size_t>(frame.width);
  for (int y = 0; y < frame.height; ++y) {
    uint8_t *row = rgb + static_cast<size_t>(y) * static_cast<size_t>(stride);
    if (frame.colour) {
      const uint8_t *source = frame.rgb.data() + static_cast<size_t>(y) * width * 3;
      if (invertColour)
        for (size_t i = 0; i < width * 3; ++i) row[i] = static_cast<uint8_t>(255 - source[i]);
      else
        std::copy(source, source + width * 3, row);
      continue;
    }
    const uint16_t *source = frame.levels.data() + static_cast<size_t>(y) * width;
    const uint8_t *table = lookup.data();
    for (size_t x = 0; x < width; ++x) {
      const uint8_t grey = table[source[x]];
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = grey;
    }
  }
}

std::string windowText(const DisplaySettings &settings) {
  if (settings.useVoiLut) return "VOI LUT z pliku";
  char text[64];
  std::snprintf(text, sizeof text, "C %g / W %g", settings.window.centre, settings.window.width);
  return text;
}
