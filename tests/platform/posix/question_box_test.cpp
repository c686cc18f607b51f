// The Yes/No question box asked from a worker thread (and, by mistake, from
// the main thread), answered as a user would.
#include "platform/platform.h"

#include "support/gui.h"

// Before the X headers, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace {

using platform::Answer;

const char questionText[] = "Czy zainstalować środowisko .NET Framework 2.0?\nTo potrwa chwilę.";
const char questionTitle[] = "Pytanie – Velmora";

std::string stringProperty(GtkWidget *widget, const char *name) {
  gchar *value = nullptr;
  g_object_get(widget, name, &value, nullptr);
  std::string result = value != nullptr ? value : "";
  g_free(value);
  return result;
}

void clickButton(GtkWidget *dialog, gint response) {
  GtkWidget *button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), response);
  ASSERT_NE(button, nullptr);
  gtk_button_clicked(GTK_BUTTON(button));
}

// Asks from a worker thread, lets `respond` act on the shown dialog, and
// returns the worker's answer.
Answer askFromWorker(platform::WindowHandle owner, const std::function<void(GtkWidget *)> &respond) {
  std::atomic<bool> done{false};
  Answer answer = Answer::Yes;
  std::thread worker([&] {
    answer = platform::askYesNo(owner, questionText, questionTitle);
    done = true;
  });
  GtkWidget *dialog = nullptr;
  bool shown =
      testsupport::waitUntil([&] { return (dialog = testsupport::findShownToplevel("QuestionBox")); });
  EXPECT_TRUE(shown);
  if (shown) {
    EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(dialog)), std::string(questionTitle));
    EXPECT_EQ(stringProperty(dialog, "text"), questionText);
    GtkMessageType type;
    g_object_get(dialog, "message-type", &type, nullptr);
    EXPECT_EQ(type, GTK_MESSAGE_QUESTION);
    GtkWidget *yes = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
    GtkWidget *no = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_NO);
    EXPECT_TRUE(yes && no);
    if (yes && no) {
      EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(yes)), "_Tak");
      EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(no)), "_Nie");
    }
    EXPECT_FALSE(done.load());
    respond(dialog);
  }
  EXPECT_TRUE(testsupport::waitUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(testsupport::findShownToplevel("QuestionBox"), nullptr);
  return answer;
}

TEST(QuestionBoxTest, AnswersFromAWorkerThread) {
  struct Case {
    const char *action;
    std::function<void(GtkWidget *)> respond;
    Answer expected;
  };
  const Case cases[] = {
      {"Yes pressed", [](GtkWidget *dialog) { clickButton(dialog, GTK_RESPONSE_YES); }, Answer::Yes},
      {"No pressed", [](GtkWidget *dialog) { clickButton(dialog, GTK_RESPONSE_NO); }, Answer::No},
      {"closed", [](GtkWidget *dialog) { testsupport::sendDeleteEvent(dialog); }, Answer::No},
      {"other response",
       [](GtkWidget *dialog) { gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL); }, Answer::No},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.action);
    EXPECT_EQ(askFromWorker(0, c.respond), c.expected);
  }
}

TEST(QuestionBoxTest, StaysInFrontOfItsOwner) {
  GtkWidget *owner = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_show(owner);
  testsupport::drainEvents();
  platform::WindowHandle ownerHandle = GDK_WINDOW_XID(gtk_widget_get_window(owner));
  Answer answer = askFromWorker(ownerHandle, [&](GtkWidget *dialog) {
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(dialog)), GTK_WINDOW(owner));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    clickButton(dialog, GTK_RESPONSE_YES);
  });
  EXPECT_EQ(answer, Answer::Yes);
  gtk_widget_destroy(owner);
}

// Asked on the main thread, which holds the toolkit's lock, the dialog runs
// there instead of waiting for a main loop that cannot turn.
TEST(QuestionBoxTest, AskedOnTheMainThreadRunsTheDialogThere) {
  struct Case {
    gint response;
    Answer expected;
  };
  for (const Case &c : {Case{GTK_RESPONSE_YES, Answer::Yes}, Case{GTK_RESPONSE_NO, Answer::No},
                        Case{GTK_RESPONSE_DELETE_EVENT, Answer::No}}) {
    auto respond = [](gpointer data) -> gboolean {
      GtkWidget *dialog = testsupport::findShownToplevel("QuestionBox");
      if (dialog == nullptr) return TRUE;  // not shown yet: look again
      if (*static_cast<gint *>(data) == GTK_RESPONSE_DELETE_EVENT)
        testsupport::sendDeleteEvent(dialog);
      else
        clickButton(dialog, *static_cast<gint *>(data));
      return FALSE;
    };
    gint response = c.response;
    gdk_threads_add_timeout(10, respond, &response);
    EXPECT_EQ(platform::askYesNo(0, questionText, questionTitle), c.expected);
    EXPECT_EQ(testsupport::findShownToplevel("QuestionBox"), nullptr);
  }
}

}  // namespace
