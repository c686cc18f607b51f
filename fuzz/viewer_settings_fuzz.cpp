// Fuzzes the viewer settings parser with arbitrary file contents.
#include "viewer_launch/viewer_settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ViewerParameters parameters = parseViewerSettings(std::string(reinterpret_cast<const char *>(data), size));
  if (parameters.size() != 2 || parameters.count("exe") != 1 || parameters.count("windowClassName") != 1)
    std::abort();
  return 0;
}
