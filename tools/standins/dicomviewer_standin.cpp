// Stand-in for the diagnostic viewer on the medium: shows its splash window,
// titled "DICOMViewerSplash", while it "starts", then a window listing the
// patients, studies and series of the DICOMDIR given as its one argument.
// Every listed line is also written to standard output.
//
//   dicomviewer-standin [--splash-title=TITLE] [--title=TITLE] [DICOMDIR]
//
// The options change the two windows' titles, so that several stand-ins can
// run side by side on one display and still be told apart.
#include "dicomdir_listing.h"

#include "platform/platform.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr guint kSplashMilliseconds = 1500;

struct Viewer {
  std::string splashTitle = "DICOMViewerSplash";
  std::string title = "Przeglądarka DICOM";
  std::string dicomdir;
  GtkWidget *splash = nullptr;
};

void readArguments(const std::vector<std::string> &arguments, Viewer &viewer) {
  const std::string splashOption = "--splash-title=";
  const std::string titleOption = "--title=";
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string &argument = arguments[i];
    if (argument.compare(0, splashOption.size(), splashOption) == 0)
      viewer.splashTitle = argument.substr(splashOption.size());
    else if (argument.compare(0, titleOption.size(), titleOption) == 0)
      viewer.title = argument.substr(titleOption.size());
    else if (viewer.dicomdir.empty())
      viewer.dicomdir = argument;
  }
}

GtkWidget *buildSplash(const std::string &title) {
  GtkWidget *splash = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(splash), title.c_str());
  gtk_window_set_decorated(GTK_WINDOW(splash), FALSE);
  gtk_window_set_position(GTK_WINDOW(splash), GTK_WIN_POS_CENTER);
  gtk_container_set_border_width(GTK_CONTAINER(splash), 30);
  gtk_container_add(GTK_CONTAINER(splash), gtk_label_new("Przeglądarka DICOM\n\nUruchamianie…"));
  gtk_widget_show_all(splash);
  return splash;
}

GtkWidget *buildTree(const DicomdirListing &listing) {
  GtkTreeStore *store = gtk_tree_store_new(1, G_TYPE_STRING);
  GtkTreeIter parents[3];
  for (const DicomdirLine &line : listing.lines) {
    GtkTreeIter row;
    gtk_tree_store_append(store, &row, line.depth == 0 ? nullptr : &parents[line.depth - 1]);
    gtk_tree_store_set(store, &row, 0, line.text.c_str(), -1);
    parents[line.depth] = row;
    std::printf("%*s%s\n", line.depth * 2, "", line.text.c_str());
  }
  std::fflush(stdout);
  GtkWidget *view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(view), -1, "Pacjenci, badania i serie",
                                              gtk_cell_renderer_text_new(), "text", 0, nullptr);
  gtk_tree_view_expand_all(GTK_TREE_VIEW(view));
  GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scrolled), view);
  return scrolled;
}

GtkWidget *buildMessage(const std::string &text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
  GtkWidget *label = gtk_label_new(text.c_str());
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  return label;
}

GtkWidget *buildContent(const std::string &dicomdir) {
  if (dicomdir.empty()) return buildMessage("Nie podano pliku DICOMDIR.");
  DicomdirListing listing = readDicomdirListing(dicomdir);
  // The path comes from the command line and may be in any encoding.
  gchar *shownPath = g_filename_display_name(dicomdir.c_str());
  std::string path = shownPath;
  g_free(shownPath);
  if (!listing.readable) return buildMessage("Nie można odczytać pliku DICOMDIR: " + path);
  if (listing.lines.empty()) return buildMessage("Plik DICOMDIR nie zawiera żadnego pacjenta: " + path);
  return buildTree(listing);
}

// ---- Main loop callbacks ----

gboolean onSplashElapsed(gpointer data) {
  Viewer *viewer = static_cast<Viewer *>(data);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), viewer->title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(window), 520, 400);
  gtk_container_set_border_width(GTK_CONTAINER(window), 8);
  gtk_container_add(GTK_CONTAINER(window), buildContent(viewer->dicomdir));
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_widget_destroy(viewer->splash);
  viewer->splash = nullptr;
  return FALSE;
}

}  // namespace

int main(int argc, char **argv) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "dicomviewer: no display\n");
    return 1;
  }
  Viewer viewer;
  // In UTF-8 whatever the system's code page: the DICOMDIR's path may hold any letter.
  readArguments(platform::commandLineArguments(argc, argv), viewer);
  viewer.splash = buildSplash(viewer.splashTitle);
  g_timeout_add(kSplashMilliseconds, onSplashElapsed, &viewer);
  gtk_main();
  return 0;
}
