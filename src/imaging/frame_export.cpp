// The PNG through GdkPixbuf's PNG writer (no toolkit needed).
#include "imaging/frame_export.h"

#include "imaging/dicom_decoders.h"
#include "platform/glib_owners.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib/gstdio.h>

#include <cmath>
#include <cstdlib>

namespace {

bool parseNumber(const std::string &text, double &value) {
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end != nullptr && *end == '\0' && std::isfinite(value);
}

}  // namespace

bool parseExportRequest(const std::vector<std::string> &arguments, ExportRequest &request,
                        std::string &error) {
  request = ExportRequest();
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string &argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--export-png" && hasValue) {
      request.output = arguments[++i];
    } else if (argument == "--frame" && hasValue) {
      double number = 0;
      if (!parseNumber(arguments[++i], number) || number < 1 || number != std::floor(number) ||
          number > 1e9) {
        error = "numer klatki musi być liczbą całkowitą od 1: „" + arguments[i] + "”";
        return false;
      }
      request.frame = static_cast<long>(number) - 1;
    } else if (argument == "--window" && hasValue) {
      const std::string &value = arguments[++i];
      const size_t comma = value.find(',');
      Window window;
      if (comma == std::string::npos || !parseNumber(value.substr(0, comma), window.centre) ||
          !parseNumber(value.substr(comma + 1), window.width) || window.width < 1) {
        error = "okno podaje się jako ŚRODEK,SZEROKOŚĆ, szerokość co najmniej 1: „" + value + "”";
        return false;
      }
      request.window = window;
    } else if (argument.rfind("--", 0) != 0 && request.input.empty()) {
      request.input = argument;
    } else {
      error = "nieznany lub niepełny argument „" + argument + "”";
      return false;
    }
  }
  if (request.output.empty() || request.input.empty()) {
    error = "użycie: velmora-viewer --export-png WYJŚCIE.png [--frame N] [--window C,W] PLIK";
    return false;
  }
  return true;
}

bool exportFrame(const ExportRequest &request, std::string &error) {
  DicomImageDecoders decoders;
  DecodedFrame frame = decodeImageFrame(request.input, request.frame);
  if (!frame.ok()) {
    error = request.input + ": " + frame.problem;
    return false;
  }
  DisplaySettings settings = settingsFromFile(frame);
  if (request.window) settings = DisplaySettings{*request.window, false, false};
  UniqueObject<GdkPixbuf> picture(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, frame.width, frame.height));
  if (!picture) {
    error = "brak pamięci na obraz";
    return false;
  }
  renderFrame(frame, buildOutputLookup(frame, settings), false, gdk_pixbuf_get_pixels(picture.get()),
              gdk_pixbuf_get_rowstride(picture.get()));
  GError *raw = nullptr;
  if (!gdk_pixbuf_save(picture.get(), request.output.c_str(), "png", &raw, nullptr)) {
    UniqueError failure(raw);
    g_remove(request.output.c_str());
    error = request.output + ": nie można zapisać obrazu (" + (failure ? failure->message : "") + ")";
    return false;
  }
  return true;
}
