// The chooser window "Opis Badania".
#include "descriptions/description_chooser.h"

#include "base/text.h"
#include "base/tmp_directory.h"
#include "catalogue/directory_scan.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/study_metadata_reader.h"
#include "descriptions/description_opening.h"
#include "platform/glib_owners.h"
#include "ui/keyboard_access.h"
#include "ui/palette.h"
#include "ui/tile_feedback.h"
#include "ui/ui_state.h"

#include <boost/filesystem.hpp>
#include <memory>

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <vector>

GtkWidget *descriptionChooserWindow = nullptr;

namespace {

constexpr int kColumnWidth = 127;
constexpr int kWindowExtraWidth = 27;
constexpr size_t kVisibleColumns = 5;
constexpr int kWindowHeight = 190;
constexpr int kIconBoxSize = 120;
// A row tooltip holds at most this many bytes, cut at a character boundary.
constexpr size_t kTooltipMaxBytes = 149;

// The DICOM side of the catalogue, shared with the reference-image browser:
// each index is filled only while it is empty.
void fillStudyIndexes() {
  if (DicomFileIndex.empty()) DicomFileIndex = scanDicomTree(boost::filesystem::absolute("DICOM"));
  if (StudyMetadataIndex.empty()) StudyMetadataIndex = readStudyMetadata(DicomFileIndex);
}

// The window's width allows one icon box per column. The label shows its text
// as the design shortens it, both lines whole: the font shrinks until the text
// fits the column, and what still does not fit at the smallest size wraps onto
// more lines rather than being cut a second time.
void fitLabelToIconColumn(GtkWidget *label) {
  const int kLargestPoints = 8;
  const int kSmallestPoints = 5;
  UniqueObject<PangoLayout> layout(
      gtk_widget_create_pango_layout(label, gtk_label_get_text(GTK_LABEL(label))));
  std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> font(
      pango_font_description_from_string("Sans"), pango_font_description_free);
  bool fits = false;
  for (int halfPoints = 2 * kLargestPoints; !fits && halfPoints >= 2 * kSmallestPoints; --halfPoints) {
    pango_font_description_set_size(font.get(), halfPoints * PANGO_SCALE / 2);
    pango_layout_set_font_description(layout.get(), font.get());
    int width = 0;
    pango_layout_get_pixel_size(layout.get(), &width, nullptr);
    fits = width <= kIconBoxSize;
  }
  gtk_widget_modify_font(label, font.get());
  if (fits) return;
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_widget_set_size_request(label, kIconBoxSize, -1);
}

// The column of one report; its row event box (the pressable part) goes to `row`.
GtkWidget *buildColumn(const DescriptionEntry &entry, GtkWidget *chooserWindow, GtkWidget **row) {
  GtkWidget *rowEventBox = gtk_event_box_new();
  *row = rowEventBox;
  GtkWidget *alignment = gtk_alignment_new(0.5, 0.5, 0.0, 0.0);
  gtk_alignment_set_padding(GTK_ALIGNMENT(alignment), 5, 0, 0, 0);
  gtk_widget_set_size_request(rowEventBox, kIconBoxSize, kIconBoxSize);

  StudyMetadata record = firstStudyRecord();
  GtkWidget *label = gtk_label_new(makeValidUtf8(descriptionColumnLabel(record)).c_str());
  gtk_widget_set_tooltip_text(label, makeValidUtf8(examinationText(record)).c_str());
  gtk_widget_modify_fg(label, GTK_STATE_NORMAL, &colorWhite);
  fitLabelToIconColumn(label);

  GtkWidget *column = gtk_vbox_new(FALSE, 2);
  GtkWidget *icon = gtk_image_new_from_file(descriptionIconPath(entry).c_str());

  gtk_widget_set_name(rowEventBox, entry.c_str());
  gtk_widget_modify_bg(rowEventBox, GTK_STATE_NORMAL, &colorBlack);
  gtk_container_add(GTK_CONTAINER(rowEventBox), icon);
  gtk_container_add(GTK_CONTAINER(alignment), rowEventBox);
  gtk_container_add(GTK_CONTAINER(column), alignment);
  gtk_container_add(GTK_CONTAINER(column), label);

  g_signal_connect_swapped(rowEventBox, "enter_notify_event", G_CALLBACK(onDescriptionIconEnter), icon);
  g_signal_connect_swapped(rowEventBox, "leave_notify_event", G_CALLBACK(onDescriptionIconLeave), icon);
  g_signal_connect(rowEventBox, "button_press_event", G_CALLBACK(onDescriptionRowPressed), chooserWindow);
  g_signal_connect(rowEventBox, "key-press-event", G_CALLBACK(onReaderKeyOfReport),
                   const_cast<DescriptionEntry *>(&entry));
  gtk_widget_set_tooltip_text(rowEventBox, descriptionRowTooltip(entry).c_str());
  makePressableByKeyboard(rowEventBox, &colorWhite);
  setAccessibleName(rowEventBox, descriptionAccessibleName(entry), examinationText(record));
  return column;
}

// The window has no parent for the toolkit to centre it on, and a window
// manager left to itself may put it anywhere, even partly off the screen:
// it is centred over the main window, within the monitor the main window is on.
// A window is placed by the frame the system draws around it (Windows always
// draws one), so the frames are centred and kept within the monitor. The
// chooser's own frame is known once it is realized, where the system frames a
// window before it is shown; elsewhere it is taken as the main window's.
void placeOverMainWindow(GtkWidget *window) {
  if (mainWindow == nullptr || !gtk_widget_get_realized(mainWindow)) return;
  auto frameOf = [](GtkWidget *widget, int *extraWidth, int *extraHeight) {
    GdkWindow *inner = gtk_widget_get_window(widget);
    GdkRectangle frame;
    gdk_window_get_frame_extents(inner, &frame);
    *extraWidth = std::max(*extraWidth, frame.width - gdk_window_get_width(inner));
    *extraHeight = std::max(*extraHeight, frame.height - gdk_window_get_height(inner));
    return frame;
  };
  int outerWidth = 0, outerHeight = 0;
  GdkRectangle home = frameOf(mainWindow, &outerWidth, &outerHeight);
  frameOf(window, &outerWidth, &outerHeight);
  outerWidth += gdk_window_get_width(gtk_widget_get_window(window));
  outerHeight += gdk_window_get_height(gtk_widget_get_window(window));
  GdkScreen *screen = gtk_widget_get_screen(mainWindow);
  GdkRectangle monitor;
  gdk_screen_get_monitor_geometry(
      screen, gdk_screen_get_monitor_at_window(screen, gtk_widget_get_window(mainWindow)), &monitor);
  int x = home.x + (home.width - outerWidth) / 2;
  int y = home.y + (home.height - outerHeight) / 2;
  x = std::max(monitor.x, std::min(x, monitor.x + monitor.width - outerWidth));
  y = std::max(monitor.y, std::min(y, monitor.y + monitor.height - outerHeight));
  gtk_window_move(GTK_WINDOW(window), x, y);
}

// Escape closes the chooser as the window's close button does.
gboolean onChooserKey(GtkWidget *window, GdkEventKey *event, gpointer) {
  if (event->keyval != GDK_Escape) return FALSE;
  gtk_widget_destroy(window);
  return TRUE;
}

void buildChooserWindow(const DescriptionList &list) {
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(window, "OpisyBadan");
  gtk_window_set_title(GTK_WINDOW(window), "Opis Badania");
  gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_container_set_border_width(GTK_CONTAINER(window), 5);
  int width = descriptionChooserWidth(list.size());

  GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_widget_set_name(scrolled, "scrolled_window");
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_NEVER);
  gtk_container_add(GTK_CONTAINER(window), scrolled);
  GtkWidget *background = gtk_event_box_new();
  gtk_widget_modify_bg(background, GTK_STATE_NORMAL, &colorBlack);
  gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(scrolled), background);
  // The width leaves room for five columns and no frame: a framed viewport
  // would make five columns scroll by a few pixels.
  gtk_viewport_set_shadow_type(GTK_VIEWPORT(gtk_bin_get_child(GTK_BIN(scrolled))), GTK_SHADOW_NONE);
  GtkWidget *columns = gtk_hbox_new(FALSE, 0);
  gtk_container_add(GTK_CONTAINER(background), columns);

  descriptionChooserWindow = window;
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_widget_destroyed), &descriptionChooserWindow);

  watchKeysOf(window);
  g_signal_connect(window, "key-press-event", G_CALLBACK(onChooserKey), nullptr);
  // A column reached with the keyboard is scrolled into view.
  gtk_container_set_focus_hadjustment(GTK_CONTAINER(columns),
                                      gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scrolled)));

  size_t shown = std::min(list.size(), kMostChooserColumns);
  std::vector<GtkWidget *> rows;
  for (size_t column = 0; column < shown; ++column) {
    GtkWidget *row = nullptr;
    gtk_box_pack_start(GTK_BOX(columns), buildColumn(list[column], window, &row), FALSE, FALSE, 5);
    rows.push_back(row);
  }
  orderFocus(columns, rows);
  GtkWidget *firstRow = rows.empty() ? nullptr : rows.front();

  // Its final size and frame before it is placed: a window that cannot be
  // resized gets a frame of its own on Windows.
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_widget_set_size_request(window, width, kWindowHeight);
  gtk_widget_realize(window);
  placeOverMainWindow(window);
  gtk_widget_show_all(window);
  // Opened from the keyboard, the chooser answers Enter at once, on the first report.
  if (firstRow != nullptr) gtk_widget_grab_focus(firstRow);
}

}  // namespace

int descriptionChooserWidth(size_t entryCount) {
  return static_cast<int>(std::min(entryCount, kVisibleColumns)) * kColumnWidth + kWindowExtraWidth;
}

StudyMetadata firstStudyRecord() {
  auto study = StudyMetadataIndex.find(0);
  if (study == StudyMetadataIndex.end()) return StudyMetadata();
  auto series = study->second.find(0);
  if (series == study->second.end() || series->second.empty()) return StudyMetadata();
  return series->second.front();
}

std::string descriptionColumnLabel(const StudyMetadata &record) {
  return shortenTo16Bytes(record.patientName) + "\n[" + shortenTo16Bytes(record.studyDescription) + "]";
}

std::string descriptionRowTooltip(const DescriptionEntry &entry) {
  return cutAtCharacterBoundary(makeValidUtf8(" Kliknij by otworzyć opis badania z pliku \"" + entry + "\" "),
                                kTooltipMaxBytes);
}

std::string descriptionAccessibleName(const DescriptionEntry &entry) {
  return entry + (descriptionKind(entry) == DescriptionKind::Pdf ? ", dokument PDF" : ", strona HTML");
}

std::string descriptionIconPath(const DescriptionEntry &entry) {
  return picturePath(descriptionKind(entry) == DescriptionKind::Pdf ? "/img/pdf2.png" : "/img/html2.png");
}

// ---- Signal handlers ----

gboolean showDescriptionChooser(DescriptionList *list, GdkEventButton *, GtkWidget *) {
  if (referenceBrowserBusy || list->empty()) return TRUE;
  if (list->size() == 1) {
    openDescription(list->front(), nullptr);
    return TRUE;
  }
  if (descriptionChooserWindow == nullptr) {
    fillStudyIndexes();
    buildChooserWindow(*list);
  }
  gtk_widget_show(descriptionChooserWindow);
  gtk_window_present(GTK_WINDOW(descriptionChooserWindow));
  return TRUE;
}

gboolean onDescriptionRowPressed(GtkWidget *rowEventBox, GdkEventButton *event, GtkWidget *chooserWindow) {
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  DescriptionEntry entry = gtk_widget_get_name(rowEventBox);
  openDescription(entry, chooserWindow);
  // The columns are hidden and shown again, so they are drawn afresh.
  GtkWidget *background = rowEventBox;
  for (int level = 0; level < 4 && background != nullptr; ++level)
    background = gtk_widget_get_parent(background);
  if (background != nullptr) {
    gtk_widget_hide(background);
    gtk_widget_show(background);
  }
  // Hiding took the focus from the column: the user comes back to the column
  // pressed, and the arrows go on from there.
  gtk_widget_grab_focus(rowEventBox);
  return TRUE;
}
