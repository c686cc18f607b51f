// The attribute window keeps the whole listing and builds the tree again from
// the rows the search leaves: a listing is read once, a search costs a walk of
// its rows.
#include "viewer/attribute_window.h"

#include "imaging/attribute_listing.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Sequences and items shown open; more are opened by hand. Opening a row
// costs a walk of its siblings in the toolkit's tree.
constexpr size_t kMostExpanded = 500;

enum Column { kTag, kName, kVr, kValue, kKind, kWeight, kStyle, kColumns };

struct AttributeWindow {
  std::vector<AttributeRow> rows;
  GtkWidget *tree = nullptr, *search = nullptr, *count = nullptr;
};

void fillTree(AttributeWindow &window) {
  const std::string filter = gtk_entry_get_text(GTK_ENTRY(window.search));
  const std::vector<size_t> shown = rowsMatching(window.rows, filter);
  GtkTreeStore *store = gtk_tree_store_new(kColumns, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                           G_TYPE_STRING, G_TYPE_STRING, G_TYPE_INT, G_TYPE_INT);
  // Each row's parent among the shown, and its place among its siblings at
  // each depth: its path, for opening the rows that have some below them.
  std::vector<long> parent(shown.size(), -1);
  std::vector<long> above;  // the shown rows the next one may be below
  std::vector<int> place;
  std::vector<std::vector<int>> expanded;
  int deepest = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    const int depth = window.rows[shown[i]].depth;
    while (!above.empty() && window.rows[shown[above.back()]].depth >= depth) above.pop_back();
    parent[i] = above.empty() ? -1 : above.back();
    const size_t level = above.size();
    place.resize(level + 1, -1);
    ++place[level];
    if (i + 1 < shown.size() && window.rows[shown[i + 1]].depth > depth && expanded.size() < kMostExpanded)
      expanded.push_back(place);
    above.push_back(static_cast<long>(i));
    deepest = std::max(deepest, static_cast<int>(level));
  }
  // Level by level, each row put first among its siblings, the last first: a
  // row's path is worked out for every change, from its place among its
  // siblings, so the first place is the cheap one.
  std::vector<GtkTreeIter> iters(shown.size());
  std::vector<int> levels(shown.size(), 0);
  for (size_t i = 0; i < shown.size(); ++i) levels[i] = parent[i] < 0 ? 0 : levels[parent[i]] + 1;
  for (int level = 0; level <= deepest; ++level)
    for (size_t i = shown.size(); i-- > 0;) {
      if (levels[i] != level) continue;
      const AttributeRow &row = window.rows[shown[i]];
      gtk_tree_store_insert_with_values(store, &iters[i], parent[i] < 0 ? nullptr : &iters[parent[i]], 0,
                                        kTag, row.tag.c_str(), kName, row.name.c_str(), kVr, row.vr.c_str(),
                                        kValue, row.value.c_str(), kKind,
                                        row.note        ? "uwaga"
                                        : row.isPrivate ? "prywatny"
                                                        : "",
                                        kWeight, row.note ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL, kStyle,
                                        row.isPrivate ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL, -1);
    }
  gtk_tree_view_set_model(GTK_TREE_VIEW(window.tree), GTK_TREE_MODEL(store));
  g_object_unref(store);
  for (const std::vector<int> &indices : expanded) {
    std::unique_ptr<GtkTreePath, void (*)(GtkTreePath *)> path(gtk_tree_path_new(), gtk_tree_path_free);
    for (int index : indices) gtk_tree_path_append_index(path.get(), index);
    gtk_tree_view_expand_row(GTK_TREE_VIEW(window.tree), path.get(), FALSE);
  }
  size_t attributes = 0;
  for (size_t index : shown) attributes += window.rows[index].tag.empty() ? 0 : 1;
  const std::string text = filter.empty() ? "Atrybutów: " + std::to_string(attributes)
                                          : "Pasujących wierszy: " + std::to_string(shown.size());
  gtk_label_set_text(GTK_LABEL(window.count), text.c_str());
}

void onSearchChanged(GtkEditable *, gpointer data) { fillTree(*static_cast<AttributeWindow *>(data)); }

void onDestroyed(GtkWidget *, gpointer data) { delete static_cast<AttributeWindow *>(data); }

gboolean onKey(GtkWidget *widget, GdkEventKey *event, gpointer) {
  if (event->keyval == GDK_Escape || ((event->state & GDK_CONTROL_MASK) && event->keyval == GDK_w)) {
    gtk_widget_destroy(widget);
    return TRUE;
  }
  return FALSE;
}

// Columns of a fixed width, so that the tree measures the rows it shows
// rather than every one of thousands.
void addColumn(GtkWidget *tree, const char *title, int column, int width) {
  GtkCellRenderer *renderer = gtk_cell_renderer_text_new();
  GtkTreeViewColumn *viewColumn = gtk_tree_view_column_new_with_attributes(
      title, renderer, "text", column, "weight", kWeight, "style", kStyle, nullptr);
  gtk_tree_view_column_set_sizing(viewColumn, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_column_set_fixed_width(viewColumn, width);
  gtk_tree_view_column_set_resizable(viewColumn, TRUE);
  gtk_tree_view_append_column(GTK_TREE_VIEW(tree), viewColumn);
}

void named(GtkWidget *widget, const char *name, const char *spoken) {
  gtk_widget_set_name(widget, name);
  atk_object_set_name(gtk_widget_get_accessible(widget), spoken);
}

}  // namespace

GtkWidget *openAttributeWindow(GtkWindow *parent, const std::string &path, const std::string &label) {
  auto *state = new AttributeWindow;
  state->rows = listAttributes(path);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, "AttributeWindow");
  const std::string title = "Atrybuty DICOM – " + label;
  gtk_window_set_title(GTK_WINDOW(window), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(window), 900, 640);
  if (parent != nullptr) gtk_window_set_transient_for(GTK_WINDOW(window), parent);
  g_signal_connect(window, "destroy", G_CALLBACK(onDestroyed), state);
  g_signal_connect(window, "key-press-event", G_CALLBACK(onKey), nullptr);

  GtkWidget *box = gtk_vbox_new(FALSE, 4);
  gtk_container_set_border_width(GTK_CONTAINER(box), 6);
  gtk_container_add(GTK_CONTAINER(window), box);
  GtkWidget *top = gtk_hbox_new(FALSE, 6);
  gtk_box_pack_start(GTK_BOX(box), top, FALSE, FALSE, 0);
  GtkWidget *prompt = gtk_label_new("Szukaj:");
  gtk_box_pack_start(GTK_BOX(top), prompt, FALSE, FALSE, 0);
  state->search = gtk_entry_new();
  named(state->search, "AttributeSearch", "Szukaj w atrybutach");
  gtk_widget_set_tooltip_text(state->search, "Wpisz znacznik, nazwę lub wartość, aby zawęzić listę.");
  gtk_box_pack_start(GTK_BOX(top), state->search, TRUE, TRUE, 0);
  state->count = gtk_label_new("");
  named(state->count, "AttributeCount", "Liczba atrybutów");
  gtk_box_pack_start(GTK_BOX(top), state->count, FALSE, FALSE, 0);

  GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_box_pack_start(GTK_BOX(box), scrolled, TRUE, TRUE, 0);
  state->tree = gtk_tree_view_new();
  named(state->tree, "AttributeTree", "Atrybuty DICOM obrazu");
  addColumn(state->tree, "Znacznik", kTag, 110);
  addColumn(state->tree, "Nazwa", kName, 240);
  addColumn(state->tree, "VR", kVr, 40);
  addColumn(state->tree, "Wartość", kValue, 380);
  addColumn(state->tree, "Rodzaj", kKind, 80);
  gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(state->tree), TRUE);
  gtk_container_add(GTK_CONTAINER(scrolled), state->tree);
  fillTree(*state);
  g_signal_connect(state->search, "changed", G_CALLBACK(onSearchChanged), state);
  gtk_widget_show_all(window);
  gtk_widget_grab_focus(state->search);
  return window;
}
