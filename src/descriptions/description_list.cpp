// The description list file "descrlist.js" and the descriptions tile built from it.
#include "descriptions/description_list.h"

#include "base/tmp_directory.h"
#include "descriptions/description_chooser.h"
#include "descriptions/description_opening.h"
#include "platform/platform.h"
#include "ui/tile_feedback.h"

#include <glib.h>

#include <algorithm>

#include <memory>

DescriptionList descriptionList;

namespace {

// As large as a file copied into the working directory may be.
constexpr size_t kLargestDescriptionList = 64u << 20;

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

void buildDescriptionsTile(GtkWidget *tilesRow) {
  // Only this run's own copy counts: a working directory we did not create
  // may hold anybody's file.
  if (!tmpDirectoryUsable()) return;
  std::string listPath = tmpPath("/descrlist.js");
  if (!g_file_test(listPath.c_str(), G_FILE_TEST_EXISTS)) return;
  std::string content;
  // The copy was held to the working directory's limit of one file.
  if (!platform::readRegularFile(listPath, kLargestDescriptionList, content)) return;
  descriptionList = parseDescriptionList(content);
  content = std::string();
  if (descriptionList.empty()) return;

  GtkWidget *eventBox = gtk_event_box_new();
  gtk_container_add(GTK_CONTAINER(tilesRow), eventBox);
  GtkWidget *image = gtk_image_new_from_file(picturePath("/img/opis_n.jpg").c_str());
  gtk_widget_set_name(image, "ObrazOpis");
  gtk_container_add(GTK_CONTAINER(eventBox), image);
  g_signal_connect_swapped(eventBox, "button_press_event", G_CALLBACK(showDescriptionChooser),
                           &descriptionList);
  g_signal_connect_swapped(eventBox, "enter_notify_event", G_CALLBACK(onTileEnter), image);
  g_signal_connect_swapped(eventBox, "leave_notify_event", G_CALLBACK(onTileLeave), image);
  // The only report opens in the navigator's own reader with Ctrl+Enter.
  if (descriptionList.size() == 1)
    g_signal_connect(eventBox, "key-press-event", G_CALLBACK(onReaderKeyOfReport), &descriptionList.front());
}
