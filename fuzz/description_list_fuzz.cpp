// Fuzzes the description list: any list file gives entries that end in a
// report suffix and hold no double quote or NUL, the test of names that lead
// off the medium agrees with a lexical resolution of the name, and the
// chooser's tooltip of every entry is valid UTF-8 within its byte limit.
#include "descriptions/description_chooser.h"
#include "descriptions/description_list.h"

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Whether `entry`, resolved component by component against the medium root,
// ever climbs above the root; a leading separator or a drive letter leaves it
// at once.
bool climbsAboveRoot(const std::string &entry) {
  if (!entry.empty() && (entry[0] == '/' || entry[0] == '\\')) return true;
  if (entry.size() >= 2 && g_ascii_isalpha(entry[0]) && entry[1] == ':') return true;
  int depth = 0;
  size_t start = 0;
  for (;;) {
    size_t end = entry.find_first_of("/\\", start);
    std::string component = entry.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (component == "..") {
      if (--depth < 0) return true;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string content(reinterpret_cast<const char *>(data), size);
  DescriptionList entries = parseDescriptionList(content);

  std::string text = content.substr(0, content.find('\0'));
  size_t quotes = 0;
  for (char c : text) quotes += c == '"';
  if (entries.size() > quotes + 1) std::abort();
  size_t entryBytes = 0;
  for (const DescriptionEntry &entry : entries) entryBytes += entry.size();
  if (entryBytes + quotes > text.size()) std::abort();

  for (const DescriptionEntry &entry : entries) {
    if (descriptionKind(entry) == DescriptionKind::Other) std::abort();
    if (entry.find('"') != std::string::npos || entry.find('\0') != std::string::npos) std::abort();
    // A name that stays on the medium may still be refused (a harmless
    // "a/../b"), but one that climbs above the root must never pass.
    if (entryStaysOnMedium(entry) && climbsAboveRoot(entry)) std::abort();
    std::string tooltip = descriptionRowTooltip(entry);
    if (tooltip.size() > 149 ||
        !g_utf8_validate(tooltip.data(), static_cast<gssize>(tooltip.size()), nullptr))
      std::abort();
  }
  return 0;
}
