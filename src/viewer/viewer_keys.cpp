// The key table and the help built from it.
#include "viewer/viewer_keys.h"

#include <gdk/gdkkeysyms.h>

const char *const kViewerTitle = "Velmora-Brelantor DICOM";

const std::vector<ViewerKey> &viewerKeys() {
  static const std::vector<ViewerKey> keys = {
      {GDK_Down, false, ViewAction::nextImage, "↓ lub →", "następny obraz"},
      {GDK_Right, false, ViewAction::nextImage, "", ""},
      {GDK_Up, false, ViewAction::previousImage, "↑ lub ←", "poprzedni obraz"},
      {GDK_Left, false, ViewAction::previousImage, "", ""},
      {GDK_Home, false, ViewAction::firstImage, "Home", "pierwszy obraz serii"},
      {GDK_End, false, ViewAction::lastImage, "End", "ostatni obraz serii"},
      {GDK_Page_Down, false, ViewAction::nextSeries, "Page Down", "następna seria"},
      {GDK_Page_Up, false, ViewAction::previousSeries, "Page Up", "poprzednia seria"},
      {GDK_plus, false, ViewAction::zoomIn, "+", "powiększenie"},
      {GDK_KP_Add, false, ViewAction::zoomIn, "", ""},
      {GDK_equal, false, ViewAction::zoomIn, "", ""},
      {GDK_minus, false, ViewAction::zoomOut, "-", "pomniejszenie"},
      {GDK_KP_Subtract, false, ViewAction::zoomOut, "", ""},
      {GDK_f, false, ViewAction::zoomToFit, "F", "dopasowanie do okna"},
      {GDK_1, false, ViewAction::zoomOneToOne, "1", "skala 1:1"},
      {GDK_r, false, ViewAction::rotate, "R", "obrót o 90° w prawo"},
      {GDK_h, false, ViewAction::flip, "H", "odbicie w poziomie"},
      {GDK_i, false, ViewAction::invert, "I", "odwrócenie szarości"},
      {GDK_w, false, ViewAction::nextPreset, "W", "następne ustawienie okna"},
      {GDK_BackSpace, false, ViewAction::resetView, "Backspace", "przywrócenie okna i widoku z pliku"},
      {GDK_o, false, ViewAction::toggleOverlay, "O", "opisy na obrazie (włączenie lub wyłączenie)"},
      {GDK_space, false, ViewAction::toggleCine, "Spacja", "odtwarzanie serii (start lub stop)"},
      {GDK_bracketright, false, ViewAction::cineFaster, "]", "szybsze odtwarzanie"},
      {GDK_bracketleft, false, ViewAction::cineSlower, "[", "wolniejsze odtwarzanie"},
      {GDK_F1, false, ViewAction::help, "F1", "ta pomoc"},
  };
  return keys;
}

std::optional<ViewAction> actionForKey(guint keyval, GdkModifierType state) {
  const bool control = (state & GDK_CONTROL_MASK) != 0;
  const guint lower = gdk_keyval_to_lower(keyval);
  for (const ViewerKey &key : viewerKeys())
    if (key.keyval == lower && key.control == control) return key.action;
  return std::nullopt;
}

std::string viewerHelpText() {
  std::string text = "Klawisze:\n";
  for (const ViewerKey &key : viewerKeys())
    if (*key.description != '\0') text += std::string("  ") + key.keyName + " – " + key.description + "\n";
  text +=
      "\nMysz:\n"
      "  kółko – następny lub poprzedni obraz\n"
      "  Ctrl i kółko – powiększenie lub pomniejszenie\n"
      "  lewy przycisk i przeciągnięcie – przesunięcie obrazu\n"
      "  prawy przycisk i przeciągnięcie – okno: w prawo szersze, w dół jaśniejsze\n"
      "\nKliknij serię na liście, aby ją obejrzeć. Wartość piksela pod wskaźnikiem widać w wierszu stanu:\n"
      "zapisaną w pliku i w jednostkach modalności (na TK w jednostkach Hounsfielda, HU).\n"
      "Ctrl+Q zamyka przeglądarkę.";
  return text;
}
