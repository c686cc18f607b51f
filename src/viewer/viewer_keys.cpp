// The key table and the help built from it.
#include "viewer/viewer_keys.h"

#include <gdk/gdkkeysyms.h>

const char *const kViewerTitle = "Velmora-Brelantor DICOM";

const std::vector<ViewerKey> &viewerKeys() {
  static const std::vector<ViewerKey> keys = {
      {GDK_Down, 0, ViewAction::nextImage, "↓ lub →", "następny obraz"},
      {GDK_Right, 0, ViewAction::nextImage, "", ""},
      {GDK_Up, 0, ViewAction::previousImage, "↑ lub ←", "poprzedni obraz"},
      {GDK_Left, 0, ViewAction::previousImage, "", ""},
      {GDK_Home, 0, ViewAction::firstImage, "Home", "pierwszy obraz serii"},
      {GDK_End, 0, ViewAction::lastImage, "End", "ostatni obraz serii"},
      {GDK_Page_Down, 0, ViewAction::nextSeries, "Page Down", "następna seria"},
      {GDK_Page_Up, 0, ViewAction::previousSeries, "Page Up", "poprzednia seria"},
      {GDK_plus, 0, ViewAction::zoomIn, "+", "powiększenie"},
      {GDK_KP_Add, 0, ViewAction::zoomIn, "", ""},
      {GDK_equal, 0, ViewAction::zoomIn, "", ""},
      {GDK_minus, 0, ViewAction::zoomOut, "-", "pomniejszenie"},
      {GDK_KP_Subtract, 0, ViewAction::zoomOut, "", ""},
      {GDK_f, 0, ViewAction::zoomToFit, "F", "dopasowanie do okna"},
      {GDK_1, 0, ViewAction::zoomOneToOne, "1", "skala 1:1"},
      {GDK_r, 0, ViewAction::rotate, "R", "obrót o 90° w prawo"},
      {GDK_h, 0, ViewAction::flip, "H", "odbicie w poziomie"},
      {GDK_i, 0, ViewAction::invert, "I", "odwrócenie szarości"},
      {GDK_w, 0, ViewAction::nextPreset, "W", "następne ustawienie okna"},
      {GDK_BackSpace, 0, ViewAction::resetView, "Backspace", "przywrócenie okna i widoku z pliku"},
      {GDK_o, 0, ViewAction::toggleOverlay, "O", "opisy na obrazie (włączenie lub wyłączenie)"},
      {GDK_space, 0, ViewAction::toggleCine, "Spacja", "odtwarzanie serii (start lub stop)"},
      {GDK_bracketright, 0, ViewAction::cineFaster, "]", "szybsze odtwarzanie"},
      {GDK_bracketleft, 0, ViewAction::cineSlower, "[", "wolniejsze odtwarzanie"},
      {GDK_Left, GDK_CONTROL_MASK, ViewAction::panLeft, "Ctrl+←", "przesunięcie obrazu w lewo"},
      {GDK_Right, GDK_CONTROL_MASK, ViewAction::panRight, "Ctrl+→", "przesunięcie obrazu w prawo"},
      {GDK_Up, GDK_CONTROL_MASK, ViewAction::panUp, "Ctrl+↑", "przesunięcie obrazu w górę"},
      {GDK_Down, GDK_CONTROL_MASK, ViewAction::panDown, "Ctrl+↓", "przesunięcie obrazu w dół"},
      {GDK_Right, GDK_SHIFT_MASK, ViewAction::windowWider, "Shift+→", "szersze okno (mniejszy kontrast)"},
      {GDK_Left, GDK_SHIFT_MASK, ViewAction::windowNarrower, "Shift+←", "węższe okno (większy kontrast)"},
      {GDK_Down, GDK_SHIFT_MASK, ViewAction::windowCentreDown, "Shift+↓",
       "niższy środek okna (obraz jaśniejszy)"},
      {GDK_Up, GDK_SHIFT_MASK, ViewAction::windowCentreUp, "Shift+↑",
       "wyższy środek okna (obraz ciemniejszy)"},
      {GDK_l, 0, ViewAction::nextLayout, "L", "następny układ: 1×1, 1×2 lub 2×2"},
      {GDK_F6, 0, ViewAction::nextCell, "F6", "następne pole układu"},
      {GDK_s, 0, ViewAction::toggleLink, "S", "powiązane przewijanie serii (włączenie lub wyłączenie)"},
      {GDK_a, 0, ViewAction::showAttributes, "A", "atrybuty DICOM obrazu"},
      {GDK_s, GDK_CONTROL_MASK, ViewAction::savePicture, "Ctrl+S", "zapisanie obrazu jako PNG"},
      {GDK_c, GDK_CONTROL_MASK, ViewAction::copyPicture, "Ctrl+C", "skopiowanie obrazu do schowka"},
      {GDK_p, GDK_CONTROL_MASK, ViewAction::printPicture, "Ctrl+P", "wydrukowanie obrazu"},
      {GDK_F1, 0, ViewAction::help, "F1", "ta pomoc"},
  };
  return keys;
}

std::optional<ViewAction> actionForKey(guint keyval, GdkModifierType state) {
  const guint held = state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK);
  const guint lower = gdk_keyval_to_lower(keyval);
  for (const ViewerKey &key : viewerKeys())
    if (key.keyval == lower && key.modifiers == held) return key.action;
  for (const ViewerKey &key : viewerKeys())
    if (key.keyval == lower && key.modifiers == (held & GDK_CONTROL_MASK)) return key.action;
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
      "\nKliknij serię na liście, aby ją obejrzeć w wybranym polu, albo przeciągnij ją na pole.\n"
      "Wartość piksela pod wskaźnikiem widać w wierszu stanu:\n"
      "zapisaną w pliku i w jednostkach modalności (na TK w jednostkach Hounsfielda, HU).\n"
      "Ctrl+Q zamyka przeglądarkę.";
  return text;
}
