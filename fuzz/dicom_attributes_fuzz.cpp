// Fuzzes the attribute reading of one DICOM file with the catalogue's read
// options: any bytes give at most one record, and every field is valid UTF-8.
#include "catalogue/study_metadata_reader.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <boost/filesystem.hpp>

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string scratch;

void removeScratchMedium() {
  boost::system::error_code error;
  boost::filesystem::remove_all(scratch, error);
}

// A medium folder of its own (in memory where possible), made the current
// directory and removed at exit.
void enterScratchMedium() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  const char *base = g_file_test("/dev/shm", G_FILE_TEST_IS_DIR) ? "/dev/shm" : g_get_tmp_dir();
  std::string pattern = std::string(base) + "/dicom-fuzz-XXXXXX";
  if (g_mkdtemp(&pattern[0]) == nullptr || chdir(pattern.c_str()) != 0) std::abort();
  scratch = pattern;
  std::atexit(removeScratchMedium);
  g_mkdir_with_parents("DICOM/ST1/SE1", 0700);
}

bool validUtf8(const std::string &text) { return g_utf8_validate(text.data(), text.size(), nullptr); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  enterScratchMedium();
  FILE *file = std::fopen("DICOM/ST1/SE1/IM1", "wb");
  if (file == nullptr) std::abort();
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  StudyMetadataMap records = readStudyMetadata({{0, {{0, {"DICOM/ST1/SE1/IM1"}}}}});
  if (records.size() > 1) std::abort();
  for (const auto &study : records)
    for (const auto &series : study.second)
      for (const StudyMetadata &r : series.second)
        if (!validUtf8(r.patientName) || !validUtf8(r.patientId) || !validUtf8(r.modality) ||
            !validUtf8(r.studyDate) || !validUtf8(r.studyDescription) || !validUtf8(r.seriesDescription))
          std::abort();
  return 0;
}
