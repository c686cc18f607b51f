// Fuzzes the information line: any attribute values must give markup that the
// toolkit's parser accepts.
#include "browser/rules/information_line.h"

#include <pango/pango.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Six fields separated by NUL bytes.
  std::string fields[6];
  int field = 0;
  for (size_t i = 0; i < size && field < 6; ++i) {
    if (data[i] == 0)
      ++field;
    else
      fields[field].push_back(static_cast<char>(data[i]));
  }
  StudyMetadata record{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
  std::string markup = informationLineMarkup(recordForDisplay(record));
  GError *error = nullptr;
  if (!pango_parse_markup(markup.c_str(), -1, 0, nullptr, nullptr, nullptr, &error)) std::abort();
  return 0;
}
