// Fuzzes the viewer's opening and decoding path: any bytes, read as an image
// file and as a DICOMDIR, give a frame or a Polish line, and a decoded frame
// renders within its own bounds; its attribute listing is valid UTF-8.
#include "imaging/attribute_listing.h"
#include "imaging/dicom_decoders.h"
#include "imaging/display_mapping.h"
#include "imaging/examination.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string scratch;

void removeScratch() {
  boost::system::error_code error;
  boost::filesystem::remove_all(scratch, error);
}

// A folder of its own in the temporary folder (scripts/fuzz.sh points it into
// its own folder), removed at exit.
const std::string &scratchFolder() {
  if (!scratch.empty()) return scratch;
  std::string pattern = std::string(g_get_tmp_dir()) + "/viewer-fuzz-XXXXXX";
  if (g_mkdtemp(&pattern[0]) == nullptr) std::abort();
  scratch = pattern;
  std::atexit(removeScratch);
  return scratch;
}

void write(const std::string &path, const uint8_t *data, size_t size) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static DicomImageDecoders decoders;
  const std::string image = scratchFolder() + "/IM1", directory = scratchFolder() + "/DICOMDIR";
  write(image, data, size);
  write(directory, data, size);

  DecodedFrame frame = decodeImageFrame(image, 0);
  if (frame.ok()) {
    if (frame.width <= 0 || frame.height <= 0) std::abort();
    std::vector<uint8_t> rgb(static_cast<size_t>(frame.width) * frame.height * 3);
    renderFrame(frame, buildOutputLookup(frame, settingsFromFile(frame)), true, rgb.data(), frame.width * 3);
  } else if (frame.problem.empty() || !g_utf8_validate(frame.problem.c_str(), -1, nullptr)) {
    std::abort();
  }
  for (const AttributeRow &row : listAttributes(image))
    if (!g_utf8_validate(row.name.c_str(), -1, nullptr) || !g_utf8_validate(row.value.c_str(), -1, nullptr))
      std::abort();
  Examination examination;
  if (readDicomDirectory(directory, examination))
    for (const ExaminationSeries *series : examination.allSeries())
      if (series->files.size() != series->frameCounts.size()) std::abort();
  return 0;
}
