// The viewer's window: layout, the handlers of its widgets, and the actions
// they run on the view state. Main thread only; frames are decoded on the
// workers of the frame cache and announced on the main loop.
#include "viewer/viewer_window.h"

#include "catalogue/worker_pool.h"
#include "imaging/dicom_decoders.h"
#include "imaging/slice_linking.h"
#include "platform/platform.h"
#include "viewer/attribute_window.h"
#include "viewer/image_drawing.h"
#include "viewer/picture_keeping.h"
#include "viewer/viewer_keys.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <future>
#include <map>
#include <memory>

namespace {

const char *const kReadingExamination = "Wczytywanie badania…";
const char *const kEmptyCell =
    "Przeciągnij tu serię z listy albo kliknij to pole i wybierz serię na liście lub klawiszem Page Down.";
constexpr long kDecodedAhead = 24;
constexpr long kDecodedBehind = 6;
constexpr size_t kMostCells = 4;
// A cell with no series yet.
constexpr size_t kNoSeries = static_cast<size_t>(-1);
// Cells shown by each layout: 1×1, 1×2 (side by side) and 2×2.
const size_t kLayoutCells[] = {1, 2, 4};

// One part of the layout: a series of its own and its own view of it.
struct Cell {
  GtkWidget *view = nullptr;  // the drawing area
  ViewState state;
  PictureRendering rendering;
  SharedFrame frame;           // the current image's, once decoded
  bool cineRateTaken = false;  // the file's cine rate, once per series shown
  // A drag in progress: its button and where it was last.
  guint dragButton = 0;
  double dragX = 0, dragY = 0;
};

// Where the images of a series lie, read on a worker the first time the
// series is linked: a disc may take seconds for the headers of a long series.
struct GeometryReading {
  std::vector<long> frameCounts;
  SeriesGeometry geometry;
};

struct Viewer;
// The cell a handler of a drawing area acts on.
struct CellOf {
  Viewer *viewer;
  size_t index;
};

struct Viewer {
  Examination examination;
  std::vector<const ExaminationSeries *> series;
  FrameCache cache;
  std::array<Cell, kMostCells> cells;
  std::array<CellOf, kMostCells> cellsOf;
  size_t active = 0;
  size_t layout = 0;  // index into kLayoutCells
  bool linked = false;
  std::map<size_t, SeriesGeometry> geometries;
  std::map<size_t, std::future<GeometryReading>> geometriesRead;
  guint geometrySource = 0;
  // The active cell as a press on the list found it: the press selects a
  // row before a drag begins, and a drop elsewhere gives the cell back.
  size_t pressedCell = 0;
  ViewState pressedState;
  GtkWidget *window = nullptr, *list = nullptr, *slider = nullptr, *presets = nullptr, *position = nullptr,
            *status = nullptr, *speed = nullptr, *play = nullptr, *layoutChoice = nullptr, *link = nullptr;
  guint cineSource = 0;
  bool reading = false;  // the examination is still being read
  bool updatingControls = false;
  std::string presetsModality;
  bool presetsFilled = false;
  std::vector<std::string> mediumFolders;
  std::string workingDirectory = platform::currentDirectory();
  std::string saveFolder;  // where the last picture was saved

  Viewer(Examination opened, size_t cacheBytes) : examination(std::move(opened)), cache(cacheBytes) {
    series = examination.allSeries();
    for (size_t i = 0; i < kMostCells; ++i) {
      if (i > 0) cells[i].state.series = kNoSeries;
      cellsOf[i] = {this, i};
    }
  }
};

Viewer &viewerOf(GtkWidget *window) {
  return *static_cast<Viewer *>(g_object_get_data(G_OBJECT(window), "viewer"));
}

Cell &activeCell(Viewer &viewer) { return viewer.cells[viewer.active]; }
size_t shownCells(const Viewer &viewer) { return kLayoutCells[viewer.layout]; }

const ExaminationSeries *seriesOf(const Viewer &viewer, const Cell &cell) {
  return cell.state.series < viewer.series.size() ? viewer.series[cell.state.series] : nullptr;
}

FrameKey keyOf(const ExaminationSeries &series, long image) {
  SeriesSlice slice = series.slice(image);
  return {slice.path, slice.frame};
}

void updateControls(Viewer &viewer);
void nameFor(GtkWidget *widget, const char *name, const char *spoken);
void followActive(Viewer &viewer);
void restartCine(Viewer &viewer);

// The frames around each shown cell's image, in the order they are wanted:
// the images shown first, then those next to them, the active cell's first.
void askForFramesAround(Viewer &viewer) {
  std::vector<const Cell *> cells{&activeCell(viewer)};
  for (size_t i = 0; i < shownCells(viewer); ++i)
    if (i != viewer.active) cells.push_back(&viewer.cells[i]);
  std::vector<FrameKey> keys;
  for (long step = 0; step <= kDecodedAhead; ++step)
    for (const Cell *cell : cells) {
      const ExaminationSeries *series = seriesOf(viewer, *cell);
      if (series == nullptr || cell->state.imageCount == 0) continue;
      const long at = cell->state.image;
      if (at + step < cell->state.imageCount) keys.push_back(keyOf(*series, at + step));
      if (step > 0 && step <= kDecodedBehind && at - step >= 0) keys.push_back(keyOf(*series, at - step));
    }
  viewer.cache.want(keys);
}

// A multi-frame file says how many frames it holds only once it is read.
void learnFrameCount(Viewer &viewer, Cell &cell, const DecodedFrame &frame, const FrameKey &key) {
  auto *series = const_cast<ExaminationSeries *>(seriesOf(viewer, cell));
  if (series == nullptr) return;
  for (size_t file = 0; file < series->files.size(); ++file)
    if (series->files[file] == key.path && series->frameCounts[file] != frame.attributes.frames) {
      series->setFrameCount(file, frame.attributes.frames);
      for (Cell &other : viewer.cells)
        if (other.state.series == cell.state.series) other.state.imageCount = series->imageCount();
    }
}

// The cell's frame from the cache, its window from the file unless chosen.
void lookUpFrame(Viewer &viewer, Cell &cell) {
  const ExaminationSeries *series = seriesOf(viewer, cell);
  cell.frame = nullptr;
  if (series == nullptr || cell.state.imageCount == 0) return;
  const FrameKey key = keyOf(*series, cell.state.image);
  cell.frame = viewer.cache.find(key);
  if (!cell.frame || !cell.frame->ok()) return;
  learnFrameCount(viewer, cell, *cell.frame, key);
  if (!cell.cineRateTaken && cell.frame->attributes.framesPerSecond) {
    cell.state.cineFramesPerSecond = std::clamp(
        static_cast<int>(std::lround(*cell.frame->attributes.framesPerSecond)), kSlowestCine, kFastestCine);
    if (cell.state.cine) restartCine(viewer);
  }
  cell.cineRateTaken = true;
  if (!cell.state.windowChosen) {
    const auto presets = windowPresetsFor(cell.frame->attributes.modality);
    const WindowPreset &preset = presets[cell.state.preset % presets.size()];
    const bool invert = cell.state.display.invert;
    cell.state.display = presetSettings(preset, *cell.frame);
    cell.state.display.invert = invert;
  }
}

void showImage(Viewer &viewer, Cell &cell) {
  lookUpFrame(viewer, cell);
  askForFramesAround(viewer);
  updateControls(viewer);
  gtk_widget_queue_draw(cell.view);
}

// The active cell's image changed: shown, and the linked cells follow.
void showActiveImage(Viewer &viewer) {
  showImage(viewer, activeCell(viewer));
  followActive(viewer);
}

gboolean selectRowOfSeries(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *row, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  gint index = -1;
  gtk_tree_model_get(model, row, 1, &index, -1);
  if (index < 0 || static_cast<size_t>(index) != activeCell(viewer).state.series) return FALSE;
  gtk_tree_view_expand_to_path(GTK_TREE_VIEW(viewer.list), path);
  gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(viewer.list)), row);
  return TRUE;
}

// The list shows the active cell's series, whichever way it was chosen.
void selectActiveSeriesInList(Viewer &viewer) {
  GtkTreeSelection *selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(viewer.list));
  if (seriesOf(viewer, activeCell(viewer)) == nullptr)
    gtk_tree_selection_unselect_all(selection);
  else
    gtk_tree_model_foreach(gtk_tree_view_get_model(GTK_TREE_VIEW(viewer.list)), selectRowOfSeries, &viewer);
}

void showSeriesAt(Viewer &viewer, size_t index) {
  Cell &cell = activeCell(viewer);
  if (index >= viewer.series.size()) {
    updateControls(viewer);
    return;
  }
  const bool overlay = cell.state.overlay;
  const int speed = cell.state.cineFramesPerSecond;
  showSeries(cell.state, index, viewer.series[index]->imageCount());
  cell.state.overlay = overlay;
  cell.state.cineFramesPerSecond = speed;
  cell.state.seriesCount = viewer.series.size();
  cell.cineRateTaken = false;
  selectActiveSeriesInList(viewer);
  showActiveImage(viewer);
}

void updateStatus(Viewer &viewer, const std::string &text) {
  gtk_label_set_text(GTK_LABEL(viewer.status), text.c_str());
}

// ---- linked scrolling ----

gboolean onGeometryPoll(gpointer data);

// The geometry of series `index`, or null while it is read (the read is
// started here the first time).
const SeriesGeometry *geometryOf(Viewer &viewer, size_t index) {
  auto known = viewer.geometries.find(index);
  if (known != viewer.geometries.end()) return &known->second;
  if (viewer.geometriesRead.count(index) == 0) {
    ExaminationSeries copy = *viewer.series[index];
    viewer.geometriesRead[index] = WorkerPool::shared().submit([copy]() mutable {
      GeometryReading reading;
      reading.geometry = readSeriesGeometry(copy);
      reading.frameCounts = copy.frameCounts;
      return reading;
    });
    if (viewer.geometrySource == 0) viewer.geometrySource = g_timeout_add(40, onGeometryPoll, &viewer);
  }
  return nullptr;
}

// Takes the geometries read on the workers; the cells follow once all are in.
gboolean onGeometryPoll(gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  for (auto reading = viewer.geometriesRead.begin(); reading != viewer.geometriesRead.end();) {
    if (reading->second.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      ++reading;
      continue;
    }
    GeometryReading read = reading->second.get();
    auto *series = const_cast<ExaminationSeries *>(viewer.series[reading->first]);
    for (size_t file = 0; file < read.frameCounts.size() && file < series->files.size(); ++file)
      series->setFrameCount(file, read.frameCounts[file]);
    for (Cell &cell : viewer.cells)
      if (cell.state.series == reading->first) cell.state.imageCount = series->imageCount();
    viewer.geometries[reading->first] = std::move(read.geometry);
    reading = viewer.geometriesRead.erase(reading);
  }
  if (!viewer.geometriesRead.empty()) return G_SOURCE_CONTINUE;
  viewer.geometrySource = 0;
  followActive(viewer);
  return G_SOURCE_REMOVE;
}

// The other shown cells move to the image nearest the active cell's, or the
// status line says why they cannot.
void followActive(Viewer &viewer) {
  Cell &active = activeCell(viewer);
  if (!viewer.linked || shownCells(viewer) < 2 || seriesOf(viewer, active) == nullptr) return;
  const SeriesGeometry *from = geometryOf(viewer, active.state.series);
  std::string problem;
  bool waiting = from == nullptr;
  for (size_t i = 0; i < shownCells(viewer); ++i) {
    Cell &cell = viewer.cells[i];
    if (&cell == &active || seriesOf(viewer, cell) == nullptr) continue;
    const SeriesGeometry *to = geometryOf(viewer, cell.state.series);
    if (from == nullptr || to == nullptr) {
      waiting = true;
      continue;
    }
    const SliceMatch match = matchingSlice(*from, active.state.image, *to);
    if (match.link != SliceLink::linked) {
      problem = sliceLinkProblem(match.link);
    } else if (match.image != cell.state.image && match.image < cell.state.imageCount) {
      cell.state.image = match.image;
      lookUpFrame(viewer, cell);
      gtk_widget_queue_draw(cell.view);
    }
  }
  if (waiting)
    updateStatus(viewer, "Wczytywanie położenia obrazów serii…");
  else if (!problem.empty())
    updateStatus(viewer, problem);
  askForFramesAround(viewer);
  updateControls(viewer);
}

// ---- cells ----

void setActiveCell(Viewer &viewer, size_t index) {
  if (index == viewer.active || index >= shownCells(viewer)) return;
  // Cine plays in the active cell only.
  if (activeCell(viewer).state.cine) {
    activeCell(viewer).state.cine = false;
    restartCine(viewer);
  }
  gtk_widget_queue_draw(activeCell(viewer).view);
  viewer.active = index;
  gtk_widget_queue_draw(activeCell(viewer).view);
  selectActiveSeriesInList(viewer);
  askForFramesAround(viewer);
  updateControls(viewer);
}

void setLayout(Viewer &viewer, size_t layout) {
  viewer.layout = layout % (sizeof kLayoutCells / sizeof kLayoutCells[0]);
  for (size_t i = 0; i < kMostCells; ++i) {
    if (i < shownCells(viewer))
      gtk_widget_show(viewer.cells[i].view);
    else
      gtk_widget_hide(viewer.cells[i].view);
  }
  if (viewer.active >= shownCells(viewer)) setActiveCell(viewer, 0);
  gtk_widget_queue_draw(activeCell(viewer).view);
  followActive(viewer);
  updateControls(viewer);
}

void setLinked(Viewer &viewer, bool linked) {
  viewer.linked = linked;
  if (!linked) updateStatus(viewer, "Przewijanie serii nie jest powiązane.");
  followActive(viewer);
  updateControls(viewer);
}

// The presets of the shown image's modality, the one in use chosen.
void fillPresets(Viewer &viewer) {
  const Cell &cell = activeCell(viewer);
  const ExaminationSeries *series = seriesOf(viewer, cell);
  const std::string modality = cell.frame ? cell.frame->attributes.modality : series ? series->modality : "";
  const auto presets = windowPresetsFor(modality);
  if (modality != viewer.presetsModality || !viewer.presetsFilled) {
    GtkListStore *store = GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(viewer.presets)));
    gtk_list_store_clear(store);
    for (const WindowPreset &preset : presets)
      gtk_combo_box_append_text(GTK_COMBO_BOX(viewer.presets), preset.name.c_str());
    viewer.presetsModality = modality;
    viewer.presetsFilled = true;
  }
  gtk_combo_box_set_active(
      GTK_COMBO_BOX(viewer.presets),
      cell.state.windowChosen ? -1 : static_cast<int>(cell.state.preset % presets.size()));
}

// What a screen reader says of a cell's picture: its overlay's text.
void describeCell(Viewer &viewer, Cell &cell) {
  std::string spoken = "Obraz diagnostyczny";
  const ViewState &state = cell.state;
  if (cell.frame && cell.frame->ok())
    for (const auto &corner :
         overlayLines(cell.frame->attributes, state,
                      effectiveZoom(state, fitZoom(*cell.frame, state, cell.view->allocation.width,
                                                   cell.view->allocation.height))))
      for (const std::string &line : corner) spoken += ". " + line;
  else if (cell.frame)
    spoken += ": " + cell.frame->problem;
  else if (viewer.reading)
    spoken += ": " + std::string(kReadingExamination);
  else if (seriesOf(viewer, cell) == nullptr && &cell != &viewer.cells[0])
    spoken += ": " + std::string(kEmptyCell);
  atk_object_set_name(gtk_widget_get_accessible(cell.view), spoken.c_str());
}

void updateControls(Viewer &viewer) {
  viewer.updatingControls = true;
  Cell &cell = activeCell(viewer);
  const ViewState &state = cell.state;
  GtkAdjustment *adjustment = gtk_range_get_adjustment(GTK_RANGE(viewer.slider));
  gtk_adjustment_set_upper(adjustment, std::max(1L, state.imageCount));
  gtk_adjustment_set_value(adjustment, static_cast<double>(state.image + 1));
  gtk_widget_set_sensitive(viewer.slider, state.imageCount > 1);
  fillPresets(viewer);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(viewer.play), state.cine);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(viewer.speed), state.cineFramesPerSecond);
  gtk_combo_box_set_active(GTK_COMBO_BOX(viewer.layoutChoice), static_cast<int>(viewer.layout));
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(viewer.link), viewer.linked);
  std::string position;
  if (cell.frame && cell.frame->ok())
    position = imagePositionText(cell.frame->attributes, state);
  else if (state.imageCount > 0)
    position = "Obraz " + std::to_string(state.image + 1) + " z " + std::to_string(state.imageCount);
  gtk_label_set_text(GTK_LABEL(viewer.position), position.c_str());
  for (size_t i = 0; i < shownCells(viewer); ++i) describeCell(viewer, viewer.cells[i]);
  viewer.updatingControls = false;
}

gboolean onCineTick(gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  Cell &cell = activeCell(viewer);
  if (!cell.state.cine) {
    viewer.cineSource = 0;
    return G_SOURCE_REMOVE;
  }
  // The next image only once this one is shown, so a slow disc slows the
  // cine instead of skipping images.
  if (cell.frame || cell.state.imageCount == 0) {
    cell.state.image = (cell.state.image + 1) % std::max(1L, cell.state.imageCount);
    showActiveImage(viewer);
  }
  return G_SOURCE_CONTINUE;
}

void restartCine(Viewer &viewer) {
  if (viewer.cineSource != 0) g_source_remove(viewer.cineSource);
  viewer.cineSource = 0;
  const ViewState &state = activeCell(viewer).state;
  if (state.cine)
    viewer.cineSource =
        g_timeout_add(static_cast<guint>(1000 / state.cineFramesPerSecond), onCineTick, &viewer);
}

void showHelp(Viewer &viewer) {
  GtkWidget *dialog = gtk_message_dialog_new(GTK_WINDOW(viewer.window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                             GTK_MESSAGE_INFO, GTK_BUTTONS_CLOSE, "%s", "Pomoc przeglądarki");
  gtk_widget_set_name(dialog, "ViewerHelp");
  gtk_window_set_title(GTK_WINDOW(dialog), "Pomoc");
  gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", viewerHelpText().c_str());
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

double fitZoomOf(const Cell &cell) {
  if (!cell.frame || !cell.frame->ok()) return 1;
  return fitZoom(*cell.frame, cell.state, cell.view->allocation.width, cell.view->allocation.height);
}

// The attributes of the file of the image shown, or of the one being read.
void showAttributes(Viewer &viewer) {
  const Cell &cell = activeCell(viewer);
  const ExaminationSeries *series = seriesOf(viewer, cell);
  if (series == nullptr || cell.state.imageCount == 0) return;
  const SeriesSlice slice = series->slice(cell.state.image);
  const std::string label = (series->description.empty() ? "(bez opisu)" : series->description) + ", obraz " +
                            std::to_string(cell.state.image + 1);
  openAttributeWindow(GTK_WINDOW(viewer.window), slice.path, label);
}

void showMessage(Viewer &viewer, GtkMessageType type, const std::string &text) {
  GtkWidget *dialog = gtk_message_dialog_new(GTK_WINDOW(viewer.window), GTK_DIALOG_DESTROY_WITH_PARENT, type,
                                             GTK_BUTTONS_CLOSE, "%s", text.c_str());
  gtk_widget_set_name(dialog, "ViewerMessage");
  gtk_window_set_title(GTK_WINDOW(dialog), "Obraz");
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

// The picture shown, with the overlays when asked; null (and said) when no
// picture is shown yet.
UniqueObject<GdkPixbuf> pictureToKeep(Viewer &viewer, bool overlays) {
  const Cell &cell = activeCell(viewer);
  if (!cell.frame || !cell.frame->ok()) {
    showMessage(viewer, GTK_MESSAGE_INFO, "Obraz nie jest jeszcze pokazany. Poczekaj, aż się wczyta.");
    return nullptr;
  }
  UniqueObject<GdkPixbuf> picture = shownPicture(cell.frame, cell.state, overlays);
  if (!picture) showMessage(viewer, GTK_MESSAGE_ERROR, "Brak pamięci na kopię obrazu.");
  return picture;
}

void onSaveChosen(GtkDialog *dialog, gint response, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (response != GTK_RESPONSE_ACCEPT) {
    gtk_widget_destroy(GTK_WIDGET(dialog));
    return;
  }
  GtkWidget *entry = GTK_WIDGET(g_object_get_data(G_OBJECT(dialog), "folder"));
  const std::string folder = gtk_entry_get_text(GTK_ENTRY(entry));
  // A refused folder leaves the dialog open for another choice.
  const std::string refusal = savingRefusal(folder, viewer.mediumFolders, viewer.workingDirectory);
  if (!refusal.empty()) {
    showMessage(viewer, GTK_MESSAGE_WARNING, refusal);
    return;
  }
  GtkWidget *overlays = GTK_WIDGET(g_object_get_data(G_OBJECT(dialog), "overlays"));
  UniqueObject<GdkPixbuf> picture =
      pictureToKeep(viewer, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(overlays)));
  gtk_widget_destroy(GTK_WIDGET(dialog));
  if (!picture) return;
  const ImageAttributes &attributes = activeCell(viewer).frame->attributes;
  std::string error;
  const std::string saved = savePicture(
      picture.get(), folder,
      "obraz-" + std::to_string(attributes.seriesNumber) + "-" + std::to_string(attributes.instanceNumber),
      error);
  if (saved.empty()) {
    showMessage(viewer, GTK_MESSAGE_ERROR, error);
  } else {
    viewer.saveFolder = folder;
    updateStatus(viewer, "Zapisano obraz: " + saved);
  }
}

// The toolkit's folder chooser, for the folder box of the dialog.
void onChooseFolder(GtkButton *, gpointer data) {
  auto *entry = static_cast<GtkWidget *>(data);
  GtkWidget *chooser = gtk_file_chooser_dialog_new(
      "Wybierz folder", GTK_WINDOW(gtk_widget_get_toplevel(entry)), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
      "Anuluj", GTK_RESPONSE_CANCEL, "Wybierz", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), gtk_entry_get_text(GTK_ENTRY(entry)));
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    UniqueString chosen(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser)));
    if (chosen) gtk_entry_set_text(GTK_ENTRY(entry), chosen.get());
  }
  gtk_widget_destroy(chooser);
}

// A folder typed or chosen, and whether the overlays go with the picture.
void askWhereToSave(Viewer &viewer) {
  GtkWidget *dialog =
      gtk_dialog_new_with_buttons("Zapisz obraz", GTK_WINDOW(viewer.window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                  "Anuluj", GTK_RESPONSE_CANCEL, "Zapisz", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_widget_set_name(dialog, "SavePictureDialog");
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  GtkWidget *box = gtk_vbox_new(FALSE, 6);
  gtk_container_set_border_width(GTK_CONTAINER(box), 8);
  gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), box, TRUE, TRUE, 0);
  GtkWidget *prompt = gtk_label_new("Obraz zostanie zapisany jako plik PNG w folderze:");
  gtk_misc_set_alignment(GTK_MISC(prompt), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(box), prompt, FALSE, FALSE, 0);
  GtkWidget *row = gtk_hbox_new(FALSE, 6);
  gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
  GtkWidget *entry = gtk_entry_new();
  nameFor(entry, "SaveFolder", "Folder, w którym zapisać obraz");
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 48);
  const char *documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
  gtk_entry_set_text(GTK_ENTRY(entry), !viewer.saveFolder.empty() ? viewer.saveFolder.c_str()
                                       : documents != nullptr     ? documents
                                                                  : g_get_home_dir());
  gtk_box_pack_start(GTK_BOX(row), entry, TRUE, TRUE, 0);
  GtkWidget *choose = gtk_button_new_with_label("Wybierz…");
  nameFor(choose, "BtnChooseFolder", "Wybierz folder");
  gtk_widget_set_tooltip_text(choose, "Wybór folderu z listy");
  g_signal_connect(choose, "clicked", G_CALLBACK(onChooseFolder), entry);
  gtk_box_pack_start(GTK_BOX(row), choose, FALSE, FALSE, 0);
  GtkWidget *overlays = gtk_check_button_new_with_label("Z opisami i pomiarami na obrazie");
  gtk_widget_set_name(overlays, "SaveWithOverlays");
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(overlays), activeCell(viewer).state.overlay);
  gtk_box_pack_start(GTK_BOX(box), overlays, FALSE, FALSE, 0);
  g_object_set_data(G_OBJECT(dialog), "folder", entry);
  g_object_set_data(G_OBJECT(dialog), "overlays", overlays);
  g_signal_connect(dialog, "response", G_CALLBACK(onSaveChosen), &viewer);
  gtk_widget_show_all(dialog);
  gtk_widget_grab_focus(entry);
}

bool printShown(Viewer &viewer, const std::string &pdf) {
  UniqueObject<GdkPixbuf> picture = pictureToKeep(viewer, activeCell(viewer).state.overlay);
  if (!picture) return false;
  std::string error;
  if (printPicture(GTK_WINDOW(viewer.window), picture.get(), pdf, error)) return true;
  showMessage(viewer, GTK_MESSAGE_ERROR, error);
  return false;
}

void runAction(Viewer &viewer, ViewAction action) {
  switch (action) {
    case ViewAction::help:
      showHelp(viewer);
      return;
    case ViewAction::showAttributes:
      showAttributes(viewer);
      return;
    case ViewAction::savePicture:
      askWhereToSave(viewer);
      return;
    case ViewAction::copyPicture:
      if (UniqueObject<GdkPixbuf> picture = pictureToKeep(viewer, activeCell(viewer).state.overlay)) {
        copyPicture(picture.get());
        updateStatus(viewer, "Obraz skopiowano do schowka.");
      }
      return;
    case ViewAction::printPicture:
      printShown(viewer, {});
      return;
    case ViewAction::nextLayout:
      setLayout(viewer, viewer.layout + 1);
      return;
    case ViewAction::nextCell:
      setActiveCell(viewer, (viewer.active + 1) % shownCells(viewer));
      return;
    case ViewAction::toggleLink:
      setLinked(viewer, !viewer.linked);
      return;
    default:
      break;
  }
  Cell &cell = activeCell(viewer);
  // The window of a picture not shown, or of a colour one, means nothing.
  const bool windowKey = action == ViewAction::windowWider || action == ViewAction::windowNarrower ||
                         action == ViewAction::windowCentreUp || action == ViewAction::windowCentreDown;
  if (windowKey && (!cell.frame || !cell.frame->ok() || cell.frame->colour)) return;
  const long image = cell.state.image;
  const bool cine = cell.state.cine;
  const int speed = cell.state.cineFramesPerSecond;
  cell.state.seriesCount = viewer.series.size();
  if (applyViewAction(cell.state, action, fitZoomOf(cell))) {
    showSeriesAt(viewer, cell.state.series);
    return;
  }
  if (action == ViewAction::nextPreset || action == ViewAction::resetView) cell.state.windowChosen = false;
  if (cine != cell.state.cine || speed != cell.state.cineFramesPerSecond) restartCine(viewer);
  if (image != cell.state.image)
    showActiveImage(viewer);
  else if (action == ViewAction::nextPreset || action == ViewAction::resetView)
    showImage(viewer, cell);
  else
    updateControls(viewer);
  gtk_widget_queue_draw(cell.view);
}

// ---- handlers ----

gboolean onKeyPressed(GtkWidget *, GdkEventKey *event, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if ((event->state & GDK_CONTROL_MASK) && (event->keyval == GDK_q || event->keyval == GDK_w)) {
    gtk_widget_destroy(viewer.window);
    return TRUE;
  }
  // Keys typed into the speed box stay there, and the list keeps the keys
  // that move in it.
  GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(viewer.window));
  if (focus != nullptr && GTK_IS_ENTRY(focus) && event->keyval != GDK_F1) return FALSE;
  if (focus == viewer.list && (event->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK)) == 0 &&
      (event->keyval == GDK_Up || event->keyval == GDK_Down || event->keyval == GDK_Left ||
       event->keyval == GDK_Right || event->keyval == GDK_Home || event->keyval == GDK_End ||
       event->keyval == GDK_space))
    return FALSE;
  if (auto action = actionForKey(event->keyval, static_cast<GdkModifierType>(event->state))) {
    runAction(viewer, *action);
    return TRUE;
  }
  return FALSE;
}

gboolean onImageScrolled(GtkWidget *, GdkEventScroll *event, gpointer data) {
  const CellOf &at = *static_cast<CellOf *>(data);
  Viewer &viewer = *at.viewer;
  setActiveCell(viewer, at.index);
  const bool up = event->direction == GDK_SCROLL_UP || event->direction == GDK_SCROLL_LEFT;
  if (event->state & GDK_CONTROL_MASK)
    runAction(viewer, up ? ViewAction::zoomIn : ViewAction::zoomOut);
  else
    runAction(viewer, up ? ViewAction::previousImage : ViewAction::nextImage);
  return TRUE;
}

gboolean onImagePressed(GtkWidget *widget, GdkEventButton *event, gpointer data) {
  const CellOf &at = *static_cast<CellOf *>(data);
  setActiveCell(*at.viewer, at.index);
  Cell &cell = at.viewer->cells[at.index];
  gtk_widget_grab_focus(widget);
  cell.dragButton = event->button;
  cell.dragX = event->x;
  cell.dragY = event->y;
  return TRUE;
}

gboolean onImageReleased(GtkWidget *, GdkEventButton *, gpointer data) {
  const CellOf &at = *static_cast<CellOf *>(data);
  at.viewer->cells[at.index].dragButton = 0;
  return TRUE;
}

gboolean onImageMotion(GtkWidget *widget, GdkEventMotion *event, gpointer data) {
  const CellOf &at = *static_cast<CellOf *>(data);
  Viewer &viewer = *at.viewer;
  Cell &cell = viewer.cells[at.index];
  const double dx = event->x - cell.dragX, dy = event->y - cell.dragY;
  if (cell.dragButton == 1 && (event->state & GDK_BUTTON1_MASK)) {
    cell.state.panX += dx;
    cell.state.panY += dy;
    gtk_widget_queue_draw(widget);
  } else if (cell.dragButton == 3 && (event->state & GDK_BUTTON3_MASK) && cell.frame && cell.frame->ok()) {
    dragWindow(cell.state, dx, dy);
    updateControls(viewer);
    gtk_widget_queue_draw(widget);
  }
  cell.dragX = event->x;
  cell.dragY = event->y;
  if (cell.frame && cell.frame->ok())
    updateStatus(viewer, valueUnderPointerText(*cell.frame, cell.state, widget->allocation.width,
                                               widget->allocation.height, event->x, event->y));
  return TRUE;
}

gboolean onImageExposed(GtkWidget *widget, GdkEventExpose *, gpointer data) {
  const CellOf &at = *static_cast<CellOf *>(data);
  Viewer &viewer = *at.viewer;
  Cell &cell = viewer.cells[at.index];
  std::string problem;
  if (cell.frame && !cell.frame->ok()) problem = cell.frame->problem;
  const ExaminationSeries *series = seriesOf(viewer, cell);
  if (series == nullptr && at.index > 0 && !viewer.reading)
    problem = kEmptyCell;
  else if (series == nullptr)
    problem = viewer.reading ? kReadingExamination : "Nie znaleziono obrazów do pokazania.";
  else if (!series->problem.empty())
    problem = series->problem;
  drawPicture(widget, cell.frame && cell.frame->ok() ? cell.frame : nullptr, cell.state, cell.rendering,
              problem);
  // The active one of several cells is framed: keys and controls act on it.
  if (shownCells(viewer) > 1 && at.index == viewer.active) {
    cairo_t *cairo = gdk_cairo_create(widget->window);
    cairo_set_source_rgb(cairo, 1, 0.6, 0);
    cairo_set_line_width(cairo, 3);
    cairo_rectangle(cairo, 1.5, 1.5, widget->allocation.width - 3, widget->allocation.height - 3);
    cairo_stroke(cairo);
    cairo_destroy(cairo);
  }
  return TRUE;
}

void onSliderMoved(GtkRange *range, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (viewer.updatingControls) return;
  ViewState &state = activeCell(viewer).state;
  state.image = std::clamp(static_cast<long>(std::lround(gtk_range_get_value(range))) - 1, 0L,
                           std::max(0L, state.imageCount - 1));
  showActiveImage(viewer);
}

void onPresetChosen(GtkComboBox *combo, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  Cell &cell = activeCell(viewer);
  const int chosen = gtk_combo_box_get_active(combo);
  if (viewer.updatingControls || chosen < 0 || !cell.frame || !cell.frame->ok()) return;
  cell.state.windowChosen = false;
  cell.state.preset = static_cast<size_t>(chosen);
  showImage(viewer, cell);
}

void onLayoutChosen(GtkComboBox *combo, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  const int chosen = gtk_combo_box_get_active(combo);
  if (!viewer.updatingControls && chosen >= 0) setLayout(viewer, static_cast<size_t>(chosen));
}

void onLinkToggled(GtkToggleButton *button, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (!viewer.updatingControls) setLinked(viewer, gtk_toggle_button_get_active(button));
}

void onActionButton(GtkButton *button, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (viewer.updatingControls) return;
  runAction(viewer, static_cast<ViewAction>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "action"))));
}

void onSpeedChanged(GtkSpinButton *spin, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (viewer.updatingControls) return;
  activeCell(viewer).state.cineFramesPerSecond = gtk_spin_button_get_value_as_int(spin);
  restartCine(viewer);
}

void onSeriesRowActivated(GtkTreeSelection *selection, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  GtkTreeModel *model = nullptr;
  GtkTreeIter row;
  if (!gtk_tree_selection_get_selected(selection, &model, &row)) return;
  gint index = -1;
  gtk_tree_model_get(model, &row, 1, &index, -1);
  if (index >= 0 && static_cast<size_t>(index) != activeCell(viewer).state.series)
    showSeriesAt(viewer, static_cast<size_t>(index));
}

gboolean onListPressed(GtkWidget *, GdkEventButton *, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  viewer.pressedCell = viewer.active;
  viewer.pressedState = activeCell(viewer).state;
  return FALSE;
}

// A series dropped on a cell goes into it, and the cell becomes the active
// one; the cell that was active gets back what the press on the list took.
void onSeriesDropped(GtkWidget *, GdkDragContext *context, gint, gint, GtkSelectionData *data, guint,
                     guint time, gpointer user) {
  const CellOf &at = *static_cast<CellOf *>(user);
  Viewer &viewer = *at.viewer;
  GtkTreeModel *model = nullptr;
  GtkTreePath *path = nullptr;
  GtkTreeIter row;
  gint index = -1;
  if (gtk_tree_get_row_drag_data(data, &model, &path) && gtk_tree_model_get_iter(model, &row, path))
    gtk_tree_model_get(model, &row, 1, &index, -1);
  if (path != nullptr) gtk_tree_path_free(path);
  gtk_drag_finish(context, index >= 0, FALSE, time);
  if (index < 0) return;
  if (at.index != viewer.pressedCell && viewer.pressedCell == viewer.active) {
    Cell &pressed = activeCell(viewer);
    pressed.state = viewer.pressedState;
    lookUpFrame(viewer, pressed);
    gtk_widget_queue_draw(pressed.view);
  }
  setActiveCell(viewer, at.index);
  showSeriesAt(viewer, static_cast<size_t>(index));
}

void onFrameDecoded(Viewer &viewer, const FrameKey &key) {
  for (size_t i = 0; i < shownCells(viewer); ++i) {
    Cell &cell = viewer.cells[i];
    const ExaminationSeries *series = seriesOf(viewer, cell);
    if (cell.frame || series == nullptr || cell.state.imageCount == 0) continue;
    if (keyOf(*series, cell.state.image) == key) showImage(viewer, cell);
  }
}

void onWindowDestroyed(GtkWidget *, gpointer data) {
  Viewer *viewer = static_cast<Viewer *>(data);
  if (viewer->cineSource != 0) g_source_remove(viewer->cineSource);
  if (viewer->geometrySource != 0) g_source_remove(viewer->geometrySource);
  delete viewer;
}

// ---- layout ----

// A row of the series list, dragged within the program onto a cell.
const GtkTargetEntry kSeriesTarget = {const_cast<gchar *>("GTK_TREE_MODEL_ROW"), GTK_TARGET_SAME_APP, 0};

void nameFor(GtkWidget *widget, const char *name, const char *spoken) {
  gtk_widget_set_name(widget, name);
  atk_object_set_name(gtk_widget_get_accessible(widget), spoken);
}

// `spoken`: the name a screen reader says, when not the tooltip.
GtkWidget *actionButton(Viewer &viewer, const char *name, const char *label, const char *tip,
                        ViewAction action, bool toggle = false, const char *spoken = nullptr) {
  GtkWidget *button = toggle ? gtk_toggle_button_new_with_label(label) : gtk_button_new_with_label(label);
  nameFor(button, name, spoken != nullptr ? spoken : tip);
  gtk_widget_set_tooltip_text(button, tip);
  gtk_button_set_focus_on_click(GTK_BUTTON(button), FALSE);
  g_object_set_data(G_OBJECT(button), "action", GINT_TO_POINTER(static_cast<int>(action)));
  g_signal_connect(button, toggle ? "toggled" : "clicked", G_CALLBACK(onActionButton), &viewer);
  return button;
}

std::string seriesLine(const ExaminationSeries &series) {
  std::string line = series.description.empty() ? "(bez opisu)" : series.description;
  line += ", " + readableDate(series.date) + ", " + series.modality + ", ";
  const long count = series.imageCount();
  line += std::to_string(count) +
          (count == 1                                                                      ? " obraz"
           : count % 10 >= 2 && count % 10 <= 4 && (count % 100 < 10 || count % 100 >= 20) ? " obrazy"
                                                                                           : " obrazów");
  if (!series.problem.empty()) line += " – " + series.problem;
  return line;
}

// The list's rows: patients, their studies and series, then the lines of
// what could not be read. The first series is chosen without a signal: the
// caller shows it.
void fillSeriesList(Viewer &viewer) {
  GtkTreeStore *store = gtk_tree_store_new(2, G_TYPE_STRING, G_TYPE_INT);
  size_t index = 0;
  GtkTreeIter first;
  bool haveFirst = false;
  for (const auto &patient : viewer.examination.patients) {
    GtkTreeIter patientRow, studyRow, seriesRow;
    gtk_tree_store_append(store, &patientRow, nullptr);
    const std::string patientText = readableName(patient.name) + " (ID: " + patient.id + ")";
    gtk_tree_store_set(store, &patientRow, 0, patientText.c_str(), 1, -1, -1);
    for (const auto &study : patient.studies) {
      gtk_tree_store_append(store, &studyRow, &patientRow);
      const std::string studyText = readableDate(study.date) + " " + study.description;
      gtk_tree_store_set(store, &studyRow, 0, studyText.c_str(), 1, -1, -1);
      for (const auto &series : study.series) {
        gtk_tree_store_append(store, &seriesRow, &studyRow);
        gtk_tree_store_set(store, &seriesRow, 0, seriesLine(series).c_str(), 1, static_cast<int>(index++),
                           -1);
        if (!haveFirst) first = seriesRow;
        haveFirst = true;
      }
    }
  }
  for (const std::string &problem : viewer.examination.problems) {
    GtkTreeIter row;
    gtk_tree_store_append(store, &row, nullptr);
    gtk_tree_store_set(store, &row, 0, ("⚠ " + problem).c_str(), 1, -1, -1);
  }
  GtkTreeSelection *selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(viewer.list));
  g_signal_handlers_block_by_func(selection, reinterpret_cast<gpointer>(onSeriesRowActivated), &viewer);
  gtk_tree_view_set_model(GTK_TREE_VIEW(viewer.list), GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_expand_all(GTK_TREE_VIEW(viewer.list));
  if (haveFirst) gtk_tree_selection_select_iter(selection, &first);
  g_signal_handlers_unblock_by_func(selection, reinterpret_cast<gpointer>(onSeriesRowActivated), &viewer);
}

GtkWidget *buildSeriesList(Viewer &viewer) {
  viewer.list = gtk_tree_view_new();
  nameFor(viewer.list, "SeriesList", "Lista serii badania");
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(viewer.list), FALSE);
  gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(viewer.list), -1, "Seria",
                                              gtk_cell_renderer_text_new(), "text", 0, nullptr);
  g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(viewer.list)), "changed",
                   G_CALLBACK(onSeriesRowActivated), &viewer);
  g_signal_connect(viewer.list, "button-press-event", G_CALLBACK(onListPressed), &viewer);
  gtk_tree_view_enable_model_drag_source(GTK_TREE_VIEW(viewer.list), GDK_BUTTON1_MASK, &kSeriesTarget, 1,
                                         GDK_ACTION_COPY);
  fillSeriesList(viewer);
  return viewer.list;
}

}  // namespace

GtkWidget *openViewerWindow(Examination examination, size_t cacheBytes) {
  auto *viewer = new Viewer(std::move(examination), cacheBytes);
  Viewer &v = *viewer;
  v.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(v.window, "ViewerWindow");
  gtk_window_set_title(GTK_WINDOW(v.window), kViewerTitle);
  gtk_window_set_default_size(GTK_WINDOW(v.window), 1100, 760);
  g_object_set_data(G_OBJECT(v.window), "viewer", viewer);

  GtkWidget *paned = gtk_hpaned_new();
  gtk_container_add(GTK_CONTAINER(v.window), paned);
  GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_widget_set_size_request(scrolled, 260, -1);
  gtk_container_add(GTK_CONTAINER(scrolled), buildSeriesList(v));
  gtk_paned_pack1(GTK_PANED(paned), scrolled, FALSE, TRUE);

  GtkWidget *right = gtk_vbox_new(FALSE, 2);
  gtk_paned_pack2(GTK_PANED(paned), right, TRUE, TRUE);
  // The cells: 1×2 shows the first row, 2×2 both; a hidden cell keeps its view.
  GtkWidget *grid = gtk_table_new(2, 2, FALSE);
  gtk_table_set_row_spacings(GTK_TABLE(grid), 2);
  gtk_table_set_col_spacings(GTK_TABLE(grid), 2);
  gtk_box_pack_start(GTK_BOX(right), grid, TRUE, TRUE, 0);
  for (size_t i = 0; i < kMostCells; ++i) {
    GtkWidget *view = v.cells[i].view = gtk_drawing_area_new();
    const std::string name = i == 0 ? "ImageView" : "ImageView" + std::to_string(i + 1);
    nameFor(view, name.c_str(), "Obraz diagnostyczny");
    GTK_WIDGET_SET_FLAGS(view, GTK_CAN_FOCUS);
    gtk_widget_add_events(view, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK);
    const guint column = static_cast<guint>(i % 2), row = static_cast<guint>(i / 2);
    gtk_table_attach(GTK_TABLE(grid), view, column, column + 1, row, row + 1,
                     static_cast<GtkAttachOptions>(GTK_EXPAND | GTK_FILL),
                     static_cast<GtkAttachOptions>(GTK_EXPAND | GTK_FILL), 0, 0);
    gtk_drag_dest_set(view, GTK_DEST_DEFAULT_ALL, &kSeriesTarget, 1, GDK_ACTION_COPY);
    gpointer cell = &v.cellsOf[i];
    g_signal_connect(view, "expose-event", G_CALLBACK(onImageExposed), cell);
    g_signal_connect(view, "scroll-event", G_CALLBACK(onImageScrolled), cell);
    g_signal_connect(view, "button-press-event", G_CALLBACK(onImagePressed), cell);
    g_signal_connect(view, "button-release-event", G_CALLBACK(onImageReleased), cell);
    g_signal_connect(view, "motion-notify-event", G_CALLBACK(onImageMotion), cell);
    g_signal_connect(view, "drag-data-received", G_CALLBACK(onSeriesDropped), cell);
  }

  GtkWidget *controls = gtk_hbox_new(FALSE, 4);
  gtk_box_pack_start(GTK_BOX(right), controls, FALSE, FALSE, 0);
  v.slider = gtk_hscale_new_with_range(1, 2, 1);
  nameFor(v.slider, "ImageSlider", "Numer obrazu w serii");
  gtk_scale_set_draw_value(GTK_SCALE(v.slider), FALSE);
  gtk_box_pack_start(GTK_BOX(controls), v.slider, TRUE, TRUE, 0);
  v.presets = gtk_combo_box_new_text();
  nameFor(v.presets, "WindowPresets", "Ustawienie okna");
  gtk_widget_set_tooltip_text(v.presets, "Ustawienie okna (W)");
  gtk_box_pack_start(GTK_BOX(controls), v.presets, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(controls),
                     actionButton(v, "BtnInvert", "Negatyw", "Odwrócenie szarości (I)", ViewAction::invert),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(
      GTK_BOX(controls),
      actionButton(v, "BtnReset", "Przywróć", "Okno i widok z pliku (Backspace)", ViewAction::resetView),
      FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(controls),
                     actionButton(v, "BtnRotate", "Obróć", "Obrót o 90° (R)", ViewAction::rotate), FALSE,
                     FALSE, 0);
  gtk_box_pack_start(GTK_BOX(controls),
                     actionButton(v, "BtnFlip", "Odbij", "Odbicie w poziomie (H)", ViewAction::flip), FALSE,
                     FALSE, 0);
  gtk_box_pack_start(
      GTK_BOX(controls),
      actionButton(v, "BtnOverlay", "Opisy", "Opisy na obrazie (O)", ViewAction::toggleOverlay), FALSE, FALSE,
      0);
  v.play =
      actionButton(v, "BtnPlay", "Odtwarzaj", "Odtwarzanie serii (Spacja)", ViewAction::toggleCine, true);
  gtk_box_pack_start(GTK_BOX(controls), v.play, FALSE, FALSE, 0);
  v.speed = gtk_spin_button_new_with_range(kSlowestCine, kFastestCine, 1);
  nameFor(v.speed, "CineSpeed", "Szybkość odtwarzania, obrazów na sekundę");
  gtk_widget_set_tooltip_text(v.speed, "Obrazów na sekundę ([ i ])");
  gtk_box_pack_start(GTK_BOX(controls), v.speed, FALSE, FALSE, 0);
  v.layoutChoice = gtk_combo_box_new_text();
  nameFor(v.layoutChoice, "Layout", "Układ");
  gtk_widget_set_tooltip_text(v.layoutChoice, "Układ: jeden obraz, dwa obok siebie lub cztery (L)");
  for (const char *layout : {"1×1", "1×2", "2×2"})
    gtk_combo_box_append_text(GTK_COMBO_BOX(v.layoutChoice), layout);
  gtk_box_pack_start(GTK_BOX(controls), v.layoutChoice, FALSE, FALSE, 0);
  v.link = gtk_toggle_button_new_with_label("Powiąż");
  nameFor(v.link, "BtnLink", "Powiązane przewijanie");
  gtk_widget_set_tooltip_text(
      v.link, "Przewijanie powiązane między seriami o tym samym układzie odniesienia, według położenia (S)");
  gtk_button_set_focus_on_click(GTK_BUTTON(v.link), FALSE);
  gtk_box_pack_start(GTK_BOX(controls), v.link, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(controls), actionButton(v, "BtnHelp", "Pomoc", "Pomoc (F1)", ViewAction::help),
                     FALSE, FALSE, 0);

  // What is done with the image: its data, keeping it, measuring on it.
  GtkWidget *tools = gtk_hbox_new(FALSE, 4);
  gtk_box_pack_start(GTK_BOX(right), tools, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(tools),
                     actionButton(v, "BtnAttributes", "Atrybuty DICOM", "Wszystkie atrybuty DICOM obrazu (A)",
                                  ViewAction::showAttributes, false, "Atrybuty DICOM"),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(tools),
                     actionButton(v, "BtnSave", "Zapisz obraz", "Zapisanie obrazu jako PNG (Ctrl+S)",
                                  ViewAction::savePicture, false, "Zapisz obraz"),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(tools),
                     actionButton(v, "BtnCopy", "Kopiuj", "Skopiowanie obrazu do schowka (Ctrl+C)",
                                  ViewAction::copyPicture, false, "Kopiuj obraz"),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(tools),
                     actionButton(v, "BtnPrint", "Drukuj", "Wydrukowanie obrazu (Ctrl+P)",
                                  ViewAction::printPicture, false, "Drukuj"),
                     FALSE, FALSE, 0);

  GtkWidget *lines = gtk_hbox_new(FALSE, 12);
  gtk_box_pack_start(GTK_BOX(right), lines, FALSE, FALSE, 2);
  v.position = gtk_label_new("");
  nameFor(v.position, "ImagePosition", "Położenie w serii");
  gtk_box_pack_start(GTK_BOX(lines), v.position, FALSE, FALSE, 4);
  v.status = gtk_label_new("Wskaż obraz, aby zobaczyć wartość piksela.");
  nameFor(v.status, "StatusLine", "Wiersz stanu");
  gtk_misc_set_alignment(GTK_MISC(v.status), 0, 0.5);
  gtk_box_pack_start(GTK_BOX(lines), v.status, TRUE, TRUE, 4);

  g_signal_connect(v.window, "key-press-event", G_CALLBACK(onKeyPressed), viewer);
  g_signal_connect(v.window, "destroy", G_CALLBACK(onWindowDestroyed), viewer);
  g_signal_connect(v.layoutChoice, "changed", G_CALLBACK(onLayoutChosen), viewer);
  g_signal_connect(v.link, "toggled", G_CALLBACK(onLinkToggled), viewer);
  g_signal_connect(v.slider, "value-changed", G_CALLBACK(onSliderMoved), viewer);
  g_signal_connect(v.presets, "changed", G_CALLBACK(onPresetChosen), viewer);
  g_signal_connect(v.speed, "value-changed", G_CALLBACK(onSpeedChanged), viewer);
  v.cache.onDecoded([viewer](const FrameKey &key) { onFrameDecoded(*viewer, key); });

  gtk_widget_show_all(v.window);
  setLayout(v, 0);
  showSeriesAt(v, 0);
  gtk_widget_grab_focus(v.cells[0].view);
  return v.window;
}

GtkWidget *openViewerWindowWhileReading(size_t cacheBytes) {
  GtkWidget *window = openViewerWindow(Examination(), cacheBytes);
  viewerOf(window).reading = true;
  updateControls(viewerOf(window));
  return window;
}

void showExamination(GtkWidget *window, Examination examination) {
  Viewer &viewer = viewerOf(window);
  viewer.reading = false;
  viewer.geometries.clear();
  for (Cell &cell : viewer.cells) {
    cell.frame = nullptr;
    cell.rendering = PictureRendering();
    cell.state.series = &cell == &viewer.cells[0] ? 0 : kNoSeries;
    cell.state.imageCount = 0;
    gtk_widget_queue_draw(cell.view);
  }
  viewer.examination = std::move(examination);
  viewer.series = viewer.examination.allSeries();
  fillSeriesList(viewer);
  viewer.active = 0;
  showSeriesAt(viewer, 0);
}

const ViewState &viewStateOf(GtkWidget *window, size_t cell) { return viewerOf(window).cells.at(cell).state; }
void setRefusedSavingFolders(GtkWidget *window, std::vector<std::string> mediumFolders,
                             std::string workingDirectory) {
  viewerOf(window).mediumFolders = std::move(mediumFolders);
  viewerOf(window).workingDirectory = std::move(workingDirectory);
}

bool printShownPictureTo(GtkWidget *window, const std::string &pdf) {
  return printShown(viewerOf(window), pdf);
}

const ViewState &viewStateOf(GtkWidget *window) { return activeCell(viewerOf(window)).state; }
FrameCache &frameCacheOf(GtkWidget *window) { return viewerOf(window).cache; }
bool currentImageShown(GtkWidget *window, size_t cell) {
  const Cell &shown = viewerOf(window).cells.at(cell);
  return shown.frame != nullptr && shown.rendering.frame == shown.frame;
}
bool currentImageShown(GtkWidget *window) { return currentImageShown(window, viewerOf(window).active); }
size_t activeCellOf(GtkWidget *window) { return viewerOf(window).active; }
