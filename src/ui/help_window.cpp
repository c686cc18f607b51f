// The help window opened with F1.
#include "ui/help_window.h"

#include <gdk/gdkkeysyms.h>

// The one help window, reset by its destroy notification as every window that exists once.
GtkWidget *helpWindow = nullptr;

const char *const kHelpText =
    "Okno główne\n"
    "• Opis badania – otwiera opis badania zapisany na płycie; gdy opisów jest kilka, pokazuje okno "
    "wyboru opisu.\n"
    "• Obrazy referencyjne – otwiera przeglądarkę obrazów referencyjnych z płyty.\n"
    "• Obrazy diagnostyczne – uruchamia z płyty osobny program do oglądania obrazów diagnostycznych.\n"
    "Tab, Shift+Tab i strzałki przechodzą między kafelkami, Enter lub spacja otwiera wybrany. "
    "W oknie wyboru opisu strzałki przechodzą między opisami, Enter lub spacja otwiera opis, "
    "Escape zamyka okno.\n"
    "\n"
    "Czytnik opisów\n"
    "Gdy na komputerze nie ma programu do opisów badań (przeglądarki internetowej albo programu do plików "
    "PDF), po zamknięciu ostrzeżenia opis otwiera się we własnym czytniku programu. Ctrl+Enter na kafelku "
    "opisu albo na opisie w oknie wyboru zawsze otwiera opis w czytniku.\n"
    "• Page Up i Page Down – poprzednia i następna strona\n"
    "• Home i End – początek i koniec opisu\n"
    "• + i - – powiększenie i pomniejszenie\n"
    "• Ctrl+P – drukowanie, Ctrl+S – zapisanie kopii pliku opisu w wybranym folderze na komputerze\n"
    "• Escape – zamknięcie czytnika\n"
    "\n"
    "Przeglądarka obrazów referencyjnych\n"
    "• ← i → – poprzedni i następny obraz serii\n"
    "• Page Up i Page Down – poprzednia i następna seria\n"
    "• Home i End – pierwszy i ostatni obraz serii\n"
    "• + i - – powiększenie i pomniejszenie obrazu\n"
    "• spacja – odtwarzanie serii i jego zatrzymanie\n"
    "• Escape – zamknięcie przeglądarki\n"
    "• Enter na miniaturze – wyświetlenie jej obrazu\n"
    "• w drzewie badań i serii: ↑ i ↓ – poprzedni i następny wiersz, → i ← – rozwinięcie i zwinięcie "
    "badania lub serii\n"
    "• kółko myszy – przewija obraz większy od okna, w przeciwnym razie pokazuje poprzedni lub "
    "następny obraz; Ctrl i kółko – powiększenie i pomniejszenie\n"
    "• przeciąganie lewym przyciskiem – przesuwa obraz większy od okna\n"
    "• dwukrotne kliknięcie obrazu – dopasowanie do okna albo wielkość 1:1\n"
    "Podczas odtwarzania serii przyciski i klawisze zmiany obrazu nie działają.\n"
    "\n"
    "Pytania przed uruchomieniem obrazów diagnostycznych\n"
    "Program do obrazów diagnostycznych potrzebuje środowiska .NET 2.0. Gdy go brakuje, pojawia się "
    "pytanie, czy uruchomić instalator z płyty: „Nie” rezygnuje z uruchomienia programu, „Tak” "
    "prowadzi do drugiego pytania, o standardową instalację: „Tak” instaluje środowisko bez dalszych "
    "pytań, „Nie” pokazuje okna samego instalatora. Po instalacji program zostaje uruchomiony.\n"
    "\n"
    "F1 otwiera tę pomoc.";

namespace {

constexpr int kTextWidth = 520;

gboolean onHelpKey(GtkWidget *window, GdkEventKey *event, gpointer) {
  if (event->keyval != GDK_Escape) return FALSE;
  gtk_widget_destroy(window);
  return TRUE;
}

void buildHelpWindow() {
  helpWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_widget_set_name(helpWindow, "Pomoc");
  gtk_window_set_title(GTK_WINDOW(helpWindow), "Pomoc – Velmora-Brelantor");
  gtk_window_set_position(GTK_WINDOW(helpWindow), GTK_WIN_POS_CENTER);
  gtk_container_set_border_width(GTK_CONTAINER(helpWindow), 10);
  g_signal_connect(helpWindow, "destroy", G_CALLBACK(gtk_widget_destroyed), &helpWindow);
  g_signal_connect(helpWindow, "key-press-event", G_CALLBACK(onHelpKey), nullptr);

  GtkWidget *column = gtk_vbox_new(FALSE, 10);
  gtk_container_add(GTK_CONTAINER(helpWindow), column);
  GtkWidget *text = gtk_label_new(kHelpText);
  gtk_widget_set_name(text, "PomocTekst");
  gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
  gtk_widget_set_size_request(text, kTextWidth, -1);
  gtk_misc_set_alignment(GTK_MISC(text), 0.0, 0.0);
  // Selectable, the text takes the focus, so a screen reader reads it and the
  // keyboard moves through it (Tab goes on to the button).
  gtk_label_set_selectable(GTK_LABEL(text), TRUE);
  gtk_box_pack_start(GTK_BOX(column), text, TRUE, TRUE, 0);

  GtkWidget *buttons = gtk_hbutton_box_new();
  gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
  GtkWidget *close = gtk_button_new_with_mnemonic("_Zamknij");
  g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), helpWindow);
  gtk_container_add(GTK_CONTAINER(buttons), close);
  gtk_box_pack_start(GTK_BOX(column), buttons, FALSE, FALSE, 0);
  gtk_widget_show_all(helpWindow);
  gtk_widget_grab_focus(text);
  // Taking the focus selects the whole text; the reading starts at its beginning.
  gtk_label_select_region(GTK_LABEL(text), 0, 0);
}

}  // namespace

void showHelpWindow() {
  if (helpWindow == nullptr) buildHelpWindow();
  gtk_window_present(GTK_WINDOW(helpWindow));
}
