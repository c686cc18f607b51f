// The description list file "descrlist.js": the reports it names.
#include "descriptions/description_list.h"

#include <glib.h>

#include <algorithm>

#include <memory>

DescriptionList descriptionList;

namespace {

bool endsWith(const std::string &text, const char *suffix) {
  std::string tail(suffix);
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

DescriptionKind descriptionKind(const std::string &name) {
  if (endsWith(name, ".html") || endsWith(name, ".htm")) return DescriptionKind::Html;
  if (endsWith(name, ".pdf")) return DescriptionKind::Pdf;
  return DescriptionKind::Other;
}

bool entryStaysOnMedium(const std::string &entry) {
  if (entry.empty()) return true;
  if (entry[0] == '/' || entry[0] == '\\') return false;
  if (entry.size() >= 2 && g_ascii_isalpha(entry[0]) && entry[1] == ':') return false;
  size_t start = 0;
  for (;;) {
    size_t separator = entry.find_first_of("/\\", start);
    if (entry.compare(start, separator == std::string::npos ? std::string::npos : separator - start, "..") ==
        0)
      return false;
    if (separator == std::string::npos) return true;
    start = separator + 1;
  }
}

std::string entryFilePath(const DescriptionEntry &entry) {
  std::string path = entry;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

DescriptionList parseDescriptionList(const std::string &content) {
  DescriptionList entries;
  std::string text = content.substr(0, content.find('\0'));
  size_t start = 0;
  for (;;) {
    size_t quote = text.find('"', start);
    std::string piece = text.substr(start, quote == std::string::npos ? std::string::npos : quote - start);
    if (descriptionKind(piece) != DescriptionKind::Other) entries.push_back(piece);
    if (quote == std::string::npos) break;
    start = quote + 1;
  }
  return entries;
}
