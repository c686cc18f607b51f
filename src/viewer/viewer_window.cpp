// The viewer's window: layout, the handlers of its widgets, and the actions
// they run on the view state. Main thread only; frames are decoded on the
// workers of the frame cache and announced on the main loop.
#include "viewer/viewer_window.h"

#include "imaging/dicom_decoders.h"
#include "viewer/image_drawing.h"
#include "viewer/viewer_keys.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const char *const kReadingExamination = "Wczytywanie badania…";
constexpr long kDecodedAhead = 24;
constexpr long kDecodedBehind = 6;

struct Viewer {
  Examination examination;
  std::vector<const ExaminationSeries *> series;
  FrameCache cache;
  ViewState state;
  PictureRendering rendering;
  SharedFrame frame;  // the current image's, once decoded
  GtkWidget *window = nullptr, *list = nullptr, *image = nullptr, *slider = nullptr, *presets = nullptr,
            *position = nullptr, *status = nullptr, *speed = nullptr, *play = nullptr;
  guint cineSource = 0;
  bool reading = false;  // the examination is still being read
  bool updatingControls = false;
  std::string presetsModality;
  bool presetsFilled = false;
  // A drag in progress: its button and where it was last.
  guint dragButton = 0;
  double dragX = 0, dragY = 0;

  Viewer(Examination opened, size_t cacheBytes) : examination(std::move(opened)), cache(cacheBytes) {
    series = examination.allSeries();
  }
};

Viewer &viewerOf(GtkWidget *window) {
  return *static_cast<Viewer *>(g_object_get_data(G_OBJECT(window), "viewer"));
}

const ExaminationSeries *currentSeries(const Viewer &viewer) {
  return viewer.state.series < viewer.series.size() ? viewer.series[viewer.state.series] : nullptr;
}

FrameKey keyOf(const ExaminationSeries &series, long image) {
  SeriesSlice slice = series.slice(image);
  return {slice.path, slice.frame};
}

void showImage(Viewer &viewer);
void updateControls(Viewer &viewer);

// The frames around the current one, in the order they are wanted.
void askForFramesAround(Viewer &viewer) {
  const ExaminationSeries *series = currentSeries(viewer);
  if (series == nullptr || viewer.state.imageCount == 0) return;
  std::vector<FrameKey> keys;
  const long at = viewer.state.image;
  keys.push_back(keyOf(*series, at));
  for (long step = 1; step <= kDecodedAhead; ++step) {
    if (at + step < viewer.state.imageCount) keys.push_back(keyOf(*series, at + step));
    if (step <= kDecodedBehind && at - step >= 0) keys.push_back(keyOf(*series, at - step));
  }
  viewer.cache.want(keys);
}

// A multi-frame file says how many frames it holds only once it is read.
void learnFrameCount(Viewer &viewer, const DecodedFrame &frame, const FrameKey &key) {
  auto *series = const_cast<ExaminationSeries *>(currentSeries(viewer));
  if (series == nullptr) return;
  for (size_t file = 0; file < series->files.size(); ++file)
    if (series->files[file] == key.path && series->frameCounts[file] != frame.attributes.frames) {
      series->setFrameCount(file, frame.attributes.frames);
      viewer.state.imageCount = series->imageCount();
    }
}

void showImage(Viewer &viewer) {
  const ExaminationSeries *series = currentSeries(viewer);
  viewer.frame = nullptr;
  if (series != nullptr && viewer.state.imageCount > 0) {
    const FrameKey key = keyOf(*series, viewer.state.image);
    viewer.frame = viewer.cache.find(key);
    if (viewer.frame && viewer.frame->ok()) learnFrameCount(viewer, *viewer.frame, key);
    if (viewer.frame && viewer.frame->ok() && !viewer.state.windowChosen) {
      const auto presets = windowPresetsFor(viewer.frame->attributes.modality);
      const WindowPreset &preset = presets[viewer.state.preset % presets.size()];
      const bool invert = viewer.state.display.invert;
      viewer.state.display = presetSettings(preset, *viewer.frame);
      viewer.state.display.invert = invert;
    }
  }
  askForFramesAround(viewer);
  updateControls(viewer);
  gtk_widget_queue_draw(viewer.image);
}

gboolean selectRowOfSeries(GtkTreeModel *model, GtkTreePath *path, GtkTreeIter *row, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  gint index = -1;
  gtk_tree_model_get(model, row, 1, &index, -1);
  if (index < 0 || static_cast<size_t>(index) != viewer.state.series) return FALSE;
  gtk_tree_view_expand_to_path(GTK_TREE_VIEW(viewer.list), path);
  gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(viewer.list)), row);
  return TRUE;
}

void showSeriesAt(Viewer &viewer, size_t index) {
  if (index >= viewer.series.size()) {
    updateControls(viewer);
    return;
  }
  const bool overlay = viewer.state.overlay;
  const int speed = viewer.state.cineFramesPerSecond;
  showSeries(viewer.state, index, viewer.series[index]->imageCount());
  viewer.state.overlay = overlay;
  viewer.state.cineFramesPerSecond = speed;
  viewer.state.seriesCount = viewer.series.size();
  // The list shows which series this is, whichever way it was chosen.
  gtk_tree_model_foreach(gtk_tree_view_get_model(GTK_TREE_VIEW(viewer.list)), selectRowOfSeries, &viewer);
  showImage(viewer);
}

void updateStatus(Viewer &viewer, const std::string &text) {
  gtk_label_set_text(GTK_LABEL(viewer.status), text.c_str());
}

// The presets of the shown image's modality, the one in use chosen.
void fillPresets(Viewer &viewer) {
  const ExaminationSeries *series = currentSeries(viewer);
  const std::string modality = viewer.frame ? viewer.frame->attributes.modality
                               : series     ? series->modality
                                            : "";
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
      viewer.state.windowChosen ? -1 : static_cast<int>(viewer.state.preset % presets.size()));
}

void updateControls(Viewer &viewer) {
  viewer.updatingControls = true;
  const ViewState &state = viewer.state;
  GtkAdjustment *adjustment = gtk_range_get_adjustment(GTK_RANGE(viewer.slider));
  gtk_adjustment_set_upper(adjustment, std::max(1L, state.imageCount));
  gtk_adjustment_set_value(adjustment, static_cast<double>(state.image + 1));
  gtk_widget_set_sensitive(viewer.slider, state.imageCount > 1);
  fillPresets(viewer);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(viewer.play), state.cine);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(viewer.speed), state.cineFramesPerSecond);
  std::string position;
  if (viewer.frame && viewer.frame->ok())
    position = imagePositionText(viewer.frame->attributes, state);
  else if (state.imageCount > 0)
    position = "Obraz " + std::to_string(state.image + 1) + " z " + std::to_string(state.imageCount);
  gtk_label_set_text(GTK_LABEL(viewer.position), position.c_str());
  // What a screen reader says of the picture: its overlay's text.
  std::string spoken = "Obraz diagnostyczny";
  if (viewer.frame && viewer.frame->ok())
    for (const auto &corner :
         overlayLines(viewer.frame->attributes, state,
                      effectiveZoom(state, fitZoom(*viewer.frame, state, viewer.image->allocation.width,
                                                   viewer.image->allocation.height))))
      for (const std::string &line : corner) spoken += ". " + line;
  else if (viewer.frame)
    spoken += ": " + viewer.frame->problem;
  else if (viewer.reading)
    spoken += ": " + std::string(kReadingExamination);
  atk_object_set_name(gtk_widget_get_accessible(viewer.image), spoken.c_str());
  viewer.updatingControls = false;
}

gboolean onCineTick(gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (!viewer.state.cine) {
    viewer.cineSource = 0;
    return G_SOURCE_REMOVE;
  }
  // The next image only once this one is shown, so a slow disc slows the
  // cine instead of skipping images.
  if (viewer.frame || viewer.state.imageCount == 0) {
    viewer.state.image = (viewer.state.image + 1) % std::max(1L, viewer.state.imageCount);
    showImage(viewer);
  }
  return G_SOURCE_CONTINUE;
}

void restartCine(Viewer &viewer) {
  if (viewer.cineSource != 0) g_source_remove(viewer.cineSource);
  viewer.cineSource = 0;
  if (viewer.state.cine)
    viewer.cineSource =
        g_timeout_add(static_cast<guint>(1000 / viewer.state.cineFramesPerSecond), onCineTick, &viewer);
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

double fitZoomOf(Viewer &viewer) {
  if (!viewer.frame || !viewer.frame->ok()) return 1;
  return fitZoom(*viewer.frame, viewer.state, viewer.image->allocation.width,
                 viewer.image->allocation.height);
}

void runAction(Viewer &viewer, ViewAction action) {
  if (action == ViewAction::help) {
    showHelp(viewer);
    return;
  }
  // The window of a picture not shown, or of a colour one, means nothing.
  const bool windowKey = action == ViewAction::windowWider || action == ViewAction::windowNarrower ||
                         action == ViewAction::windowCentreUp || action == ViewAction::windowCentreDown;
  if (windowKey && (!viewer.frame || !viewer.frame->ok() || viewer.frame->colour)) return;
  const long image = viewer.state.image;
  const bool cine = viewer.state.cine;
  const int speed = viewer.state.cineFramesPerSecond;
  if (applyViewAction(viewer.state, action, fitZoomOf(viewer))) {
    showSeriesAt(viewer, viewer.state.series);
    return;
  }
  if (action == ViewAction::nextPreset || action == ViewAction::resetView) viewer.state.windowChosen = false;
  if (cine != viewer.state.cine || speed != viewer.state.cineFramesPerSecond) restartCine(viewer);
  if (image != viewer.state.image || action == ViewAction::nextPreset || action == ViewAction::resetView)
    showImage(viewer);
  else
    updateControls(viewer);
  gtk_widget_queue_draw(viewer.image);
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
  Viewer &viewer = *static_cast<Viewer *>(data);
  const bool up = event->direction == GDK_SCROLL_UP || event->direction == GDK_SCROLL_LEFT;
  if (event->state & GDK_CONTROL_MASK)
    runAction(viewer, up ? ViewAction::zoomIn : ViewAction::zoomOut);
  else
    runAction(viewer, up ? ViewAction::previousImage : ViewAction::nextImage);
  return TRUE;
}

gboolean onImagePressed(GtkWidget *widget, GdkEventButton *event, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  gtk_widget_grab_focus(widget);
  viewer.dragButton = event->button;
  viewer.dragX = event->x;
  viewer.dragY = event->y;
  return TRUE;
}

gboolean onImageReleased(GtkWidget *, GdkEventButton *, gpointer data) {
  static_cast<Viewer *>(data)->dragButton = 0;
  return TRUE;
}

gboolean onImageMotion(GtkWidget *widget, GdkEventMotion *event, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  const double dx = event->x - viewer.dragX, dy = event->y - viewer.dragY;
  if (viewer.dragButton == 1 && (event->state & GDK_BUTTON1_MASK)) {
    viewer.state.panX += dx;
    viewer.state.panY += dy;
    gtk_widget_queue_draw(widget);
  } else if (viewer.dragButton == 3 && (event->state & GDK_BUTTON3_MASK) && viewer.frame &&
             viewer.frame->ok()) {
    dragWindow(viewer.state, dx, dy);
    updateControls(viewer);
    gtk_widget_queue_draw(widget);
  }
  viewer.dragX = event->x;
  viewer.dragY = event->y;
  if (viewer.frame && viewer.frame->ok())
    updateStatus(viewer, valueUnderPointerText(*viewer.frame, viewer.state, widget->allocation.width,
                                               widget->allocation.height, event->x, event->y));
  return TRUE;
}

gboolean onImageExposed(GtkWidget *widget, GdkEventExpose *, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  std::string problem;
  if (viewer.frame && !viewer.frame->ok()) problem = viewer.frame->problem;
  const ExaminationSeries *series = currentSeries(viewer);
  if (series == nullptr)
    problem = viewer.reading ? kReadingExamination : "Nie znaleziono obrazów do pokazania.";
  else if (!series->problem.empty())
    problem = series->problem;
  drawPicture(widget, viewer.frame && viewer.frame->ok() ? viewer.frame : nullptr, viewer.state,
              viewer.rendering, problem);
  return TRUE;
}

void onSliderMoved(GtkRange *range, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (viewer.updatingControls) return;
  viewer.state.image = std::clamp(static_cast<long>(std::lround(gtk_range_get_value(range))) - 1, 0L,
                                  std::max(0L, viewer.state.imageCount - 1));
  showImage(viewer);
}

void onPresetChosen(GtkComboBox *combo, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  const int chosen = gtk_combo_box_get_active(combo);
  if (viewer.updatingControls || chosen < 0 || !viewer.frame || !viewer.frame->ok()) return;
  viewer.state.windowChosen = false;
  viewer.state.preset = static_cast<size_t>(chosen);
  showImage(viewer);
}

void onActionButton(GtkButton *button, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (viewer.updatingControls) return;
  runAction(viewer, static_cast<ViewAction>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "action"))));
}

void onSpeedChanged(GtkSpinButton *spin, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  if (viewer.updatingControls) return;
  viewer.state.cineFramesPerSecond = gtk_spin_button_get_value_as_int(spin);
  restartCine(viewer);
}

void onSeriesRowActivated(GtkTreeSelection *selection, gpointer data) {
  Viewer &viewer = *static_cast<Viewer *>(data);
  GtkTreeModel *model = nullptr;
  GtkTreeIter row;
  if (!gtk_tree_selection_get_selected(selection, &model, &row)) return;
  gint index = -1;
  gtk_tree_model_get(model, &row, 1, &index, -1);
  if (index >= 0 && static_cast<size_t>(index) != viewer.state.series)
    showSeriesAt(viewer, static_cast<size_t>(index));
}

void onFrameDecoded(Viewer &viewer, const FrameKey &key) {
  const ExaminationSeries *series = currentSeries(viewer);
  if (viewer.frame || series == nullptr || viewer.state.imageCount == 0) return;
  if (keyOf(*series, viewer.state.image) == key) showImage(viewer);
}

void onWindowDestroyed(GtkWidget *, gpointer data) {
  Viewer *viewer = static_cast<Viewer *>(data);
  if (viewer->cineSource != 0) g_source_remove(viewer->cineSource);
  delete viewer;
}

// ---- layout ----

void nameFor(GtkWidget *widget, const char *name, const char *spoken) {
  gtk_widget_set_name(widget, name);
  atk_object_set_name(gtk_widget_get_accessible(widget), spoken);
}

GtkWidget *actionButton(Viewer &viewer, const char *name, const char *label, const char *tip,
                        ViewAction action, bool toggle = false) {
  GtkWidget *button = toggle ? gtk_toggle_button_new_with_label(label) : gtk_button_new_with_label(label);
  nameFor(button, name, tip);
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
  v.image = gtk_drawing_area_new();
  nameFor(v.image, "ImageView", "Obraz diagnostyczny");
  GTK_WIDGET_SET_FLAGS(v.image, GTK_CAN_FOCUS);
  gtk_widget_add_events(v.image, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                     GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK);
  gtk_box_pack_start(GTK_BOX(right), v.image, TRUE, TRUE, 0);

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
  gtk_box_pack_start(GTK_BOX(controls), actionButton(v, "BtnHelp", "Pomoc", "Pomoc (F1)", ViewAction::help),
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
  g_signal_connect(v.image, "expose-event", G_CALLBACK(onImageExposed), viewer);
  g_signal_connect(v.image, "scroll-event", G_CALLBACK(onImageScrolled), viewer);
  g_signal_connect(v.image, "button-press-event", G_CALLBACK(onImagePressed), viewer);
  g_signal_connect(v.image, "button-release-event", G_CALLBACK(onImageReleased), viewer);
  g_signal_connect(v.image, "motion-notify-event", G_CALLBACK(onImageMotion), viewer);
  g_signal_connect(v.slider, "value-changed", G_CALLBACK(onSliderMoved), viewer);
  g_signal_connect(v.presets, "changed", G_CALLBACK(onPresetChosen), viewer);
  g_signal_connect(v.speed, "value-changed", G_CALLBACK(onSpeedChanged), viewer);
  v.cache.onDecoded([viewer](const FrameKey &key) { onFrameDecoded(*viewer, key); });

  gtk_widget_show_all(v.window);
  showSeriesAt(v, 0);
  gtk_widget_grab_focus(v.image);
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
  viewer.frame = nullptr;
  viewer.rendering = PictureRendering();
  viewer.examination = std::move(examination);
  viewer.series = viewer.examination.allSeries();
  fillSeriesList(viewer);
  showSeriesAt(viewer, 0);
  gtk_widget_queue_draw(viewer.image);
}

const ViewState &viewStateOf(GtkWidget *window) { return viewerOf(window).state; }
FrameCache &frameCacheOf(GtkWidget *window) { return viewerOf(window).cache; }
bool currentImageShown(GtkWidget *window) {
  const Viewer &viewer = viewerOf(window);
  return viewer.frame != nullptr && viewer.rendering.frame == viewer.frame;
}
