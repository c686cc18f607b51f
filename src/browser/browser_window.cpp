// The reference-image browser window: the build on the first press on the
// reference-images tile, the window's layout, and closing it.
#include "browser/browser_window.h"

#include "base/quit_request.h"
#include "base/tmp_directory.h"
#include "base/trace.h"
#include "browser/browser_actions.h"
#include "browser/browser_input.h"
#include "browser/browser_state.h"
#include "browser/load_progress.h"
#include "browser/position_label.h"
#include "browser/thumbnail_index.h"
#include "browser/tree_building.h"
#include "catalogue/directory_scan.h"
#include "catalogue/reference_catalogue.h"
#include "catalogue/study_metadata_reader.h"
#include "tree/branch_tree.h"
#include "ui/keyboard_access.h"
#include "ui/palette.h"
#include "ui/ui_state.h"

#include <boost/filesystem.hpp>

#include <exception>
#include <memory>

namespace {

const char *const kFailureTitle = "Obrazy referencyjne";
const char *const kFailureText =
    "Otworzenie obrazu referencyjnego nie powidło się. Prawdopodobnie wyciągnięto płytę CD z napędu lub są "
    "problemy z jej odczytem. Sprawdź czy płyta CD znajduje się w napędzie i spróbuj ponownie.";

constexpr int kButtonHeight = 24;
constexpr int kTreeWidth = 190;

// One button of the control bar, in the order the bar shows them.
struct ControlButton {
  const char *picture;
  int width;
  const char *name;
  GtkWidget **global;
  void (*clicked)(GtkButton *, gpointer);
  const char *tooltip;
  bool spacerBefore;  // pushes this button and the ones after it to the right
};

const ControlButton kControlButtons[] = {
    {"/img/play.png", 30, "BtnPlay", &browser.playButton, onPlayToggled, " Rozpocznij odtwarzanie serii ",
     false},
    {"/img/prevprev.png", 38, nullptr, &browser.prevSeriesButton, onPrevSeries,
     " Przejdź do poprzedniej serii ", false},
    {"/img/prev.png", 30, nullptr, &browser.prevImageButton, onPrevImage,
     " Wyświetl poprzedni obraz w ramach serii ", false},
    {"/img/next.png", 30, nullptr, &browser.nextImageButton, onNextImage,
     " Wyświetl kolejny obraz w ramach serii ", false},
    {"/img/nextnext.png", 38, nullptr, &browser.nextSeriesButton, onNextSeries, " Przejdź do kolejnej serii ",
     false},
    {"/img/zoom_in.png", 30, nullptr, &browser.zoomInButton, onZoomIn, " Powiększ obraz ", true},
    {"/img/zoom_out.png", 30, nullptr, &browser.zoomOutButton, onZoomOut, " Zmniejsz obraz ", false},
};

// Draws the widget now, before the long load that follows starts.
void redrawNow(GtkWidget *widget) {
  gtk_widget_queue_draw(widget);
  if (GdkWindow *window = gtk_widget_get_window(widget)) gdk_window_process_updates(window, TRUE);
}

// Destroys a widget that was never put into a window, with everything in it.
void destroyUnparented(GtkWidget *widget) {
  if (widget == nullptr) return;
  g_object_ref_sink(widget);
  gtk_widget_destroy(widget);
  g_object_unref(widget);
}

// Not modal and not reused: every failed attempt adds one, answered on its own.
void showFailureWarning() {
  GtkWidget *dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_WARNING,
                                             GTK_BUTTONS_OK, "%s", kFailureText);
  gtk_window_set_title(GTK_WINDOW(dialog), kFailureTitle);
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  g_signal_connect_swapped(dialog, "response", G_CALLBACK(gtk_widget_destroy), dialog);
  gtk_widget_show(dialog);
}

boost::filesystem::path absoluteMediumPath(const char *relative) {
  return boost::filesystem::absolute(relative);
}

// Fills the catalogue's indexes into browserTree, showing progress on the main
// window. Pending events run during the load; referenceBrowserBusy holds the
// tiles back meanwhile.
void buildCatalogue() {
  try {
    boost::filesystem::path refimg = absoluteMediumPath("REFIMG");
    totalImageCount = countRegularFiles(refimg);
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(loadProgressBar), 0.0);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(loadProgressBar), loadProgressText(0.0).c_str());
    gtk_widget_show(loadProgressBar);
    redrawNow(loadProgressBar);
    if (DicomFileIndex.empty()) DicomFileIndex = scanDicomTree(absoluteMediumPath("DICOM"));
    if (StudyMetadataIndex.empty()) StudyMetadataIndex = readStudyMetadata(DicomFileIndex);
    ThumbnailIndex = buildStudyBranches(*browser.browserTree, refimg);
  } catch (const std::exception &) {
    // A medium that fails under the walk is reported like any other unreadable medium.
    ThumbnailIndex.clear();
  }
  // Gone when the main window was closed in the middle of the build.
  if (loadProgressBar != nullptr) gtk_widget_hide(loadProgressBar);
}

// The failed build's tree and scroller were never put into a window.
void dropFailedBuild() {
  if (browser.browserTree) destroyUnparented(treeOuterEventBox(*browser.browserTree));
  browser.browserTree.reset();
  destroyUnparented(browser.treeScroller);
  browser.treeScroller = nullptr;
}

GtkWidget *buildInformationStrip() {
  GtkWidget *strip = gtk_event_box_new();
  gtk_widget_modify_bg(strip, GTK_STATE_NORMAL, &colorBlack);
  GtkWidget *inset = gtk_alignment_new(0, 0, 0, 0);
  gtk_alignment_set_padding(GTK_ALIGNMENT(inset), 3, 1, 3, 1);
  gtk_container_add(GTK_CONTAINER(strip), inset);
  browser.infoLabel = gtk_label_new("");
  gtk_widget_modify_fg(browser.infoLabel, GTK_STATE_NORMAL, &colorWhite);
  gtk_container_add(GTK_CONTAINER(inset), browser.infoLabel);
  return strip;
}

GtkWidget *buildImageArea() {
  browser.imageScroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(browser.imageScroller), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_widget_set_size_request(browser.imageScroller, 512, 512);

  GtkWidget *backdrop = gtk_event_box_new();
  GdkColor black = parsedColor("#000");
  gtk_widget_modify_bg(backdrop, GTK_STATE_NORMAL, &black);
  GtkWidget *centring = gtk_alignment_new(0.5, 0.5, 0, 0);
  browser.imageView = gtk_image_new();
  gtk_container_add(GTK_CONTAINER(centring), browser.imageView);
  gtk_container_add(GTK_CONTAINER(backdrop), centring);
  gtk_widget_show_all(backdrop);
  gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(browser.imageScroller), backdrop);

  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(browser.imageScroller), GTK_SHADOW_NONE);
  GtkWidget *viewport = gtk_bin_get_child(GTK_BIN(browser.imageScroller));
  if (GTK_IS_VIEWPORT(viewport)) gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport), GTK_SHADOW_NONE);
  gtk_container_set_border_width(GTK_CONTAINER(browser.imageScroller), 0);
  return browser.imageScroller;
}

GtkWidget *buildControlBar() {
  GtkWidget *bar = gtk_hbox_new(FALSE, 2);
  for (const ControlButton &control : kControlButtons) {
    if (control.spacerBefore) gtk_box_pack_start(GTK_BOX(bar), buildPositionLabel(), TRUE, TRUE, 0);
    GtkWidget *button = makeImageButton(picturePath(control.picture), control.width);
    if (control.global != nullptr) *control.global = button;
    if (control.name != nullptr) gtk_widget_set_name(button, control.name);
    g_signal_connect(button, "clicked", G_CALLBACK(control.clicked), nullptr);
    GtkWidget *alignment = gtk_alignment_new(0, 0, 0, 0);
    gtk_container_add(GTK_CONTAINER(alignment), button);
    gtk_box_pack_start(GTK_BOX(bar), alignment, FALSE, FALSE, 0);
    setTooltipAndName(button, control.tooltip);
  }
  return bar;
}

// The window around the freshly built tree.
void buildBrowserWindow() {
  gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(browser.treeScroller),
                                        treeOuterEventBox(*browser.browserTree));
  gtk_widget_show(browser.treeScroller);

  browser.browserWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(browser.browserWindow), "Przeglądarka obrazów referencyjnych");
  g_signal_connect(browser.browserWindow, "delete-event", G_CALLBACK(onBrowserDelete), nullptr);
  gtk_container_set_border_width(GTK_CONTAINER(browser.browserWindow), 5);
  gtk_widget_set_size_request(browser.browserWindow, 1000, 600);

  GtkWidget *pane = gtk_hpaned_new();
  gtk_container_add(GTK_CONTAINER(browser.browserWindow), pane);
  gtk_widget_show(pane);
  gtk_paned_add1(GTK_PANED(pane), browser.treeScroller);

  GtkWidget *rightColumn = gtk_vbox_new(FALSE, 0);
  GtkWidget *infoColumn = gtk_vbox_new(FALSE, 0);
  gtk_box_pack_start(GTK_BOX(rightColumn), infoColumn, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(infoColumn), buildInformationStrip(), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(infoColumn), buildImageArea(), TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(rightColumn), buildControlBar(), FALSE, FALSE, 0);
  gtk_widget_show_all(rightColumn);
  gtk_paned_add2(GTK_PANED(pane), rightColumn);
  gtk_paned_set_position(GTK_PANED(pane), kTreeWidth);

  gtk_widget_show(browser.browserWindow);
  connectBrowserInput();
}

void buildReferenceBrowser() {
  referenceBrowserBusy = true;
  browser.treeScroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(browser.treeScroller), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_ALWAYS);
  browser.browserTree = std::make_unique<BranchTree>();
  createTreeRoot(*browser.browserTree);

  buildCatalogue();

  if (loadMustEnd()) {
    // The main window was closed, or the program asked to end, during the
    // build: the program is ending, so no warning and no window.
    trace("budowanie przerwane: program kończy pracę");
    ThumbnailIndex.clear();
  } else if (ThumbnailIndex.empty()) {
    showFailureWarning();
  }
  if (ThumbnailIndex.empty()) {
    referenceBrowserBusy = false;
    loadedImageCount = 0;
    totalImageCount = 0;
    dropFailedBuild();
    return;
  }
  buildBrowserWindow();
  referenceBrowserBusy = false;
}

}  // namespace

GtkWidget *makeImageButton(const std::string &picturePath, int width) {
  GtkWidget *button = gtk_button_new();
  // No frame space around the picture; set through the widget's own style
  // changes, so that no style shared with other widgets is touched.
  GtkRcStyle *noFrame = gtk_rc_style_new();
  noFrame->xthickness = 0;
  noFrame->ythickness = 0;
  gtk_widget_modify_style(button, noFrame);
  g_object_unref(noFrame);
  gtk_widget_set_size_request(button, width, kButtonHeight);
  gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
  gtk_button_set_image(GTK_BUTTON(button), gtk_image_new_from_file(picturePath.c_str()));
  return button;
}

// ---- Window and tile handlers ----

gboolean openReferenceBrowser(GtkWidget *, GdkEventButton *event, gpointer) {
  if (event->type != GDK_BUTTON_PRESS || referenceBrowserBusy) return TRUE;
  if (!ThumbnailIndex.empty() && browser.browserWindow != nullptr) {
    gtk_widget_show(browser.browserWindow);
    gtk_window_present(GTK_WINDOW(browser.browserWindow));
    return TRUE;
  }
  buildReferenceBrowser();
  return TRUE;
}

gboolean onBrowserDelete(GtkWidget *, GdkEvent *, gpointer) {
  applyBrowserAction(BrowserAction::StopPlayback);
  gtk_widget_hide(browser.browserWindow);
  return TRUE;
}
