// The descriptions tile, built from the working directory's copy of the list file.
#include "descriptions/descriptions_tile.h"

#include "base/tmp_directory.h"
#include "descriptions/description_chooser.h"
#include "descriptions/description_list.h"
#include "descriptions/description_opening.h"
#include "platform/platform.h"
#include "ui/tile_feedback.h"

#include <glib.h>

#include <string>

namespace {

// As large as a file copied into the working directory may be.
constexpr size_t kLargestDescriptionList = 64u << 20;

}  // namespace

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
