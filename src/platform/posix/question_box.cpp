// The Yes/No question box: a message dialog run by the main loop for a worker
// thread that waits for the answer.
#include "platform/platform.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

namespace {

// The thread that runs static initialisers is the process's main thread,
// which runs the main loop.
const std::thread::id mainThread = std::this_thread::get_id();

// Shared by the asking worker and the dialog; whichever lets go last frees it.
struct Question {
  Question(WindowHandle owner, const std::string &text, const std::string &title)
      : owner(owner), text(text), title(title) {}
  Question(const Question &) = delete;
  Question &operator=(const Question &) = delete;

  const WindowHandle owner;
  const std::string text;
  const std::string title;
  // Standard primitives, which the thread checker can see.
  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  Answer answer = Answer::No;
};

using SharedQuestion = std::shared_ptr<Question>;

void deleteSharedQuestion(gpointer data) { delete static_cast<SharedQuestion *>(data); }

void deliverAnswer(Question &question, Answer answer) {
  std::lock_guard<std::mutex> lock(question.mutex);
  if (!question.done) {
    question.done = true;
    question.answer = answer;
    question.answered.notify_one();
  }
}

// One of our own top-level windows whose X window is `owner`, or none.
GtkWindow *ownerWindow(WindowHandle owner) {
  if (owner == 0) return nullptr;
  GtkWindow *found = nullptr;
  GList *toplevels = gtk_window_list_toplevels();
  for (GList *item = toplevels; item != nullptr && found == nullptr; item = item->next) {
    GtkWidget *window = GTK_WIDGET(item->data);
    GdkWindow *gdkWindow = gtk_widget_get_window(window);
    if (gdkWindow != nullptr && GDK_WINDOW_XID(gdkWindow) == owner) found = GTK_WINDOW(window);
  }
  g_list_free(toplevels);
  return found;
}

GtkWidget *buildQuestionDialog(WindowHandle ownerHandle, const std::string &text, const std::string &title) {
  GtkWindow *owner = ownerWindow(ownerHandle);
  GtkWidget *dialog = gtk_message_dialog_new(owner, owner != nullptr ? GTK_DIALOG_MODAL : GtkDialogFlags(0),
                                             GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s", text.c_str());
  // The buttons speak Polish like every other text, whatever the desktop's language.
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Nie", GTK_RESPONSE_NO, "_Tak", GTK_RESPONSE_YES, nullptr);
  gtk_widget_set_name(dialog, "QuestionBox");
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog),
                          owner != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  return dialog;
}

Answer answerFor(gint response) { return response == GTK_RESPONSE_YES ? Answer::Yes : Answer::No; }

// ---- Signal handlers and main-loop callbacks (main thread, toolkit lock held) ----

void onQuestionResponse(GtkDialog *dialog, gint response, gpointer data) {
  deliverAnswer(**static_cast<SharedQuestion *>(data), answerFor(response));
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// A dialog destroyed without a response (its owner went away) counts as No.
void onQuestionDestroyed(GtkWidget *, gpointer data) {
  deliverAnswer(**static_cast<SharedQuestion *>(data), Answer::No);
}

gboolean showQuestion(gpointer data) {
  SharedQuestion question = *static_cast<SharedQuestion *>(data);
  GtkWidget *dialog = buildQuestionDialog(question->owner, question->text, question->title);
  // The dialog keeps its own reference to the question until it is finalised.
  g_object_set_data_full(G_OBJECT(dialog), "question", new SharedQuestion(question), deleteSharedQuestion);
  gpointer held = g_object_get_data(G_OBJECT(dialog), "question");
  g_signal_connect(dialog, "response", G_CALLBACK(onQuestionResponse), held);
  g_signal_connect(dialog, "destroy", G_CALLBACK(onQuestionDestroyed), held);
  gtk_window_present(GTK_WINDOW(dialog));
  return FALSE;
}

}  // namespace

Answer askYesNo(WindowHandle owner, const std::string &text, const std::string &title) {
  if (std::this_thread::get_id() == mainThread || g_main_context_is_owner(g_main_context_default())) {
    // On the main thread (toolkit lock held) waiting for the main loop would
    // never end: run the dialog here instead.
    GtkWidget *dialog = buildQuestionDialog(owner, text, title);
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return answerFor(response);
  }

  // Worker thread, without the toolkit's lock. The question is queued under
  // that lock, which the main loop takes before showing it, so the hand-over is
  // ordered by a lock the thread checker sees; the wait is outside it.
  SharedQuestion question = std::make_shared<Question>(owner, text, title);
  gdk_threads_enter();
  gdk_threads_add_idle_full(G_PRIORITY_DEFAULT_IDLE, showQuestion, new SharedQuestion(question),
                            deleteSharedQuestion);
  gdk_threads_leave();
  std::unique_lock<std::mutex> lock(question->mutex);
  question->answered.wait(lock, [&] { return question->done; });
  return question->answer;
}

}  // namespace platform
