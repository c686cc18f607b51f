// What the user sees of a viewer launch: spinner and start failure warning.
#include "viewer_launch/launch_feedback.h"

#include "base/text.h"
#include "ui/ui_state.h"

#include <glib.h>

const char *const kProgramNotStartedTitle = "Obrazy diagnostyczne";

std::string programNotStartedText(const std::string &program) {
  return "Nie można uruchomić programu \"" + makeValidUtf8(program) +
         "\".\nSprawdź, czy płyta CD znajduje się w napędzie i spróbuj ponownie.";
}

namespace {

// Lock held by the caller.
void stopSpinner() {
  if (viewerSpinner == nullptr) return;
  gtk_spinner_stop(GTK_SPINNER(viewerSpinner));
  gtk_widget_hide(viewerSpinner);
}

// Main thread, from the idle queue.
gboolean endFailedLaunch(gpointer data) {
  stopSpinner();
  viewerLaunching = false;
  showProgramNotStartedWarning(*static_cast<const std::string *>(data));
  return FALSE;
}

void deleteProgramPath(gpointer data) { delete static_cast<std::string *>(data); }

}  // namespace

// ---- Worker threads ----

void startLaunchSpinner() {
  gdk_threads_enter();
  if (viewerSpinner != nullptr) {
    gtk_spinner_start(GTK_SPINNER(viewerSpinner));
    gtk_widget_show(viewerSpinner);
  }
  gdk_threads_leave();
}

bool redrawLaunchSpinner() {
  gdk_threads_enter();
  bool shown = viewerSpinner != nullptr;
  if (shown) {
    gtk_widget_queue_draw(viewerSpinner);
    if (GdkWindow *window = gtk_widget_get_window(viewerSpinner)) gdk_window_process_updates(window, TRUE);
  }
  gdk_threads_leave();
  return shown;
}

void finishLaunch() {
  gdk_threads_enter();
  stopSpinner();
  viewerLaunching = false;
  gdk_threads_leave();
}

void reportProgramNotStarted(const std::string &program) {
  // The dialog belongs to the main loop; the spinner and the flag change there
  // too, so that no press slips in between. Queued under the toolkit's lock,
  // which the main loop takes before running the callback, so the hand-over of
  // the path is ordered by a lock the thread checker sees.
  gdk_threads_enter();
  gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, endFailedLaunch, new std::string(program),
                            deleteProgramPath);
  gdk_threads_leave();
}

// ---- Main thread ----

GtkWidget *showProgramNotStartedWarning(const std::string &program) {
  GtkWidget *dialog = gtk_message_dialog_new(mainWindow ? GTK_WINDOW(mainWindow) : nullptr,
                                             GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_WARNING,
                                             GTK_BUTTONS_OK, "%s", programNotStartedText(program).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), kProgramNotStartedTitle);
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
  return dialog;
}
