// Fuzzes the way from a report's bytes to the reader's text: any bytes give
// valid UTF-8 runs within the bound, and pictures only where the resolver
// allowed them.
#include "reader/html_text.h"

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string bytes(reinterpret_cast<const char *>(data), size);
  std::string html = reportHtmlAsUtf8(bytes);
  if (!g_utf8_validate(html.data(), static_cast<gssize>(html.size()), nullptr)) std::abort();
  // Sources that begin with "ok" count as pictures on the medium.
  ReaderDocument document = readerDocumentFromHtml(html, [](const std::string &source) {
    return source.compare(0, 2, "ok") == 0 ? "/medium/" + source : std::string();
  });
  size_t bytesShown = 0;
  for (const ReaderRun &run : document.runs) {
    bytesShown += run.text.size();
    if (!g_utf8_validate(run.text.data(), static_cast<gssize>(run.text.size()), nullptr)) std::abort();
    if (run.kind == ReaderRun::Kind::Picture && run.picture.compare(0, 10, "/medium/ok") != 0) std::abort();
  }
  if (bytesShown > kMostShownTextBytes + document.runs.size()) std::abort();
  return 0;
}
