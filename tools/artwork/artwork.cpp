// Writes every picture of the table into the img folder.
#include "artwork.h"

#include "drawings.h"
#include "picture_table.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstring>

namespace artwork {

namespace {

// Browser buttons are width x 24 with no frame; their pictures stay 2 pixels
// smaller so that the focus line never clips them.
constexpr int kButtonHeight = 22;
constexpr int kStepButtonWidth = 28;
constexpr int kSeriesButtonWidth = 36;

template <TileKind kind, TileState state>
void tile(cairo_t *cr, int width, int height) {
  drawTile(cr, width, height, kind, state);
}

template <ButtonGlyph glyph>
void button(cairo_t *cr, int width, int height) {
  drawButtonGlyph(cr, width, height, glyph);
}

}  // namespace

const std::vector<PictureEntry> &pictureTable() {
  using B = Backdrop;
  using F = FileType;
  using K = TileKind;
  using S = TileState;
  using G = ButtonGlyph;
  static const std::vector<PictureEntry> table = {
      {"opis_n.jpg", 180, 150, F::Jpeg, B::White, tile<K::Report, S::Normal>},
      {"opis_a.jpg", 180, 150, F::Jpeg, B::White, tile<K::Report, S::Highlighted>},
      {"obr_ref_n.jpg", 180, 150, F::Jpeg, B::White, tile<K::ReferencePictures, S::Normal>},
      {"obr_ref_a.jpg", 180, 150, F::Jpeg, B::White, tile<K::ReferencePictures, S::Highlighted>},
      {"obr_diag_n.jpg", 180, 150, F::Jpeg, B::White, tile<K::DiagnosticPictures, S::Normal>},
      {"obr_diag_a.jpg", 180, 150, F::Jpeg, B::White, tile<K::DiagnosticPictures, S::Highlighted>},
      {"icon.ico", 48, 48, F::Ico, B::Theme, drawProgramIcon},
      {"poweredbyvelmora.jpg", 110, 18, F::Jpeg, B::White, drawStatusPoweredBy},
      {"html2.png", 96, 96, F::Png, B::Black,
       [](cairo_t *cr, int width, int height) { drawDocumentIcon(cr, width, height, DocumentKind::Html); }},
      {"pdf2.png", 96, 96, F::Png, B::Black,
       [](cairo_t *cr, int width, int height) { drawDocumentIcon(cr, width, height, DocumentKind::Pdf); }},
      {"play.png", kStepButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::Play>},
      {"stop.png", kStepButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::Stop>},
      {"prev.png", kStepButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::PreviousImage>},
      {"next.png", kStepButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::NextImage>},
      {"prevprev.png", kSeriesButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::PreviousSeries>},
      {"nextnext.png", kSeriesButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::NextSeries>},
      {"zoom_in.png", kStepButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::ZoomIn>},
      {"zoom_out.png", kStepButtonWidth, kButtonHeight, F::Png, B::Theme, button<G::ZoomOut>},
      {"toggle_expand.png", 11, 11, F::Png, B::Black,
       [](cairo_t *cr, int width, int height) { drawTreeToggle(cr, width, height, false); }},
      {"toggle_colapse.png", 11, 11, F::Png, B::Black,
       [](cairo_t *cr, int width, int height) { drawTreeToggle(cr, width, height, true); }},
      {"get_adobe_reader.png", 158, 39, F::Png, B::Theme, drawReaderBadge},
      {"head_bg.jpg", 16, 88, F::Jpeg, B::Page, drawHeaderBackground},
      {"head_.jpg", 160, 88, F::Jpeg, B::Page, drawHeaderLeft},
      {"head_right.jpg", 276, 88, F::Jpeg, B::Page, drawHeaderRight},
      {"cien_left.jpg", 20, 10, F::Jpeg, B::Page,
       [](cairo_t *cr, int width, int height) { drawSideShadow(cr, width, height, true); }},
      {"cien_right.jpg", 20, 10, F::Jpeg, B::Page,
       [](cairo_t *cr, int width, int height) { drawSideShadow(cr, width, height, false); }},
      {"btm_bg.jpg", 16, 18, F::Jpeg, B::Page, drawFooterBackground},
      {"corn_left_btm.jpg", 32, 18, F::Jpeg, B::Page, drawFooterCorner},
      {"poweredby.jpg", 86, 18, F::Jpeg, B::Page, drawFooterPoweredBy},
  };
  return table;
}

}  // namespace artwork

bool writeArtwork(const std::string &imgDir, std::string *error) {
  if (g_mkdir_with_parents(imgDir.c_str(), 0755) != 0) {
    const int code = errno;
    if (error) *error = imgDir + ": " + std::strerror(code);
    return false;
  }
  for (const artwork::PictureEntry &picture : artwork::pictureTable()) {
    artwork::Canvas canvas(picture.width, picture.height);
    picture.draw(canvas.cr(), picture.width, picture.height);
    if (!artwork::savePicture(canvas, imgDir + "/" + picture.name, picture.type, error)) return false;
  }
  return true;
}
