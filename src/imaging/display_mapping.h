// From a decoded frame to the picture shown: modality transform (Rescale
// Slope/Intercept or the Modality LUT), VOI (a window or the file's VOI LUT), MONOCHROME1 and
// invert, all folded into one lookup table over the frame's stored values, so
// a change of window builds a new table and decodes nothing.
#pragma once

#include "imaging/dicom_image_file.h"

#include <cstdint>
#include <string>
#include <vector>

struct Window {
  double centre = 0;
  double width = 0;
};

// How a frame is shown: a window, or the file's VOI LUT; inverted or not.
struct DisplaySettings {
  Window window;
  bool useVoiLut = false;
  bool invert = false;
};

// Modality units of a stored value.
double modalityValue(const ImageAttributes &attributes, double stored);

// The window the file asks for: its first Window Center/Width, else its VOI
// LUT, else the full range of the frame's values.
DisplaySettings settingsFromFile(const DecodedFrame &frame);
// The frame's smallest to largest value in modality units.
Window fullRangeWindow(const DecodedFrame &frame);

// A named window of a modality, in its units.
struct WindowPreset {
  std::string name;
  Window window;  // width 0: "z pliku"; width < 0: "pełny zakres"
};
// The presets offered for `modality`: "z pliku" (the first, as a series
// opens), on CT "mózg", "tkanki miękkie", "płuca" and "kości", and "pełny
// zakres".
std::vector<WindowPreset> windowPresetsFor(const std::string &modality);
// The preset's window for `frame`.
DisplaySettings presetSettings(const WindowPreset &preset, const DecodedFrame &frame);

// The lookup from a grey frame's levels (stored value - frame.minStored) to
// output level 0..255; empty for a colour frame.
std::vector<uint8_t> buildOutputLookup(const DecodedFrame &frame, const DisplaySettings &settings);

// Writes the frame as 8-bit RGB, `stride` bytes a row, through `lookup` (grey)
// or as it is (colour, inverted when asked).
void renderFrame(const DecodedFrame &frame, const std::vector<uint8_t> &lookup, bool invertColour,
                 uint8_t *rgb, int stride);

// "C 40 / W 400", for the overlay and the status line.
std::string windowText(const DisplaySettings &settings);
