// The PDF report of the chest radiograph, drawn on cairo's PDF surface with
// the text set by Pango.
#include "phantom.h"
#include "reports.h"

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace samplemedium {

namespace {

const double pageWidth = 595.28, pageHeight = 841.89, margin = 56;

const char *const findings =
    "Płuca bez zmian ogniskowych i naciekowych, prawidłowo upowietrznione. Rysunek naczyniowy "
    "prawidłowy. Wnęki płucne nieposzerzone, o zachowanej strukturze. Kąty przeponowo-żebrowe wolne. "
    "Przepony gładkie, ustawione prawidłowo; na zdjęciu wydechowym prawidłowa ruchomość.\n\n"
    "Sylwetka serca w normie (wskaźnik sercowo-płucny 0,46). Śródpiersie nieposzerzone, tchawica "
    "w osi. Uwidocznione struktury kostne klatki piersiowej bez zmian pourazowych.";

void showText(cairo_t *cr, double x, double y, double width, const char *font, const char *markup,
              double *height) {
  std::unique_ptr<PangoLayout, decltype(&g_object_unref)> layout(pango_cairo_create_layout(cr),
                                                                 g_object_unref);
  std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> description(
      pango_font_description_from_string(font), pango_font_description_free);
  pango_layout_set_font_description(layout.get(), description.get());
  pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
  pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD);
  pango_layout_set_markup(layout.get(), markup, -1);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout.get());
  int w = 0, h = 0;
  pango_layout_get_size(layout.get(), &w, &h);
  if (height) *height = static_cast<double>(h) / PANGO_SCALE;
}

// The frontal radiograph at full breath, as a picture on the page.
void drawRadiograph(cairo_t *cr, double x, double y, double size) {
  const int pixels = 384;
  const Picture picture = drawPicture(Anatomy::Chest, View::Frontal, pixels, pixels, 5, 10);
  const std::vector<uint8_t> grey = applyWindow(picture, 1500, 2800);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixels, pixels), cairo_surface_destroy);
  cairo_surface_flush(image.get());
  unsigned char *data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  for (int row = 0; row < pixels; ++row) {
    auto *line = reinterpret_cast<uint32_t *>(data + static_cast<size_t>(row) * stride);
    for (int col = 0; col < pixels; ++col) {
      const uint32_t g = grey[static_cast<size_t>(row) * pixels + col];
      line[col] = (g << 16) | (g << 8) | g;
    }
  }
  cairo_surface_mark_dirty(image.get());
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, size / pixels, size / pixels);
  cairo_set_source_surface(cr, image.get(), 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace

bool writePdfReport(const std::string &path, const ExaminationPlan &plan, std::string *error) {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_pdf_surface_create(path.c_str(), pageWidth, pageHeight), cairo_surface_destroy);
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                 "Wynik badania RTG klatki piersiowej");
  cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_AUTHOR, "Pracownia RTG");
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()), cairo_destroy);
  cairo_t *cr = context.get();

  cairo_set_source_rgb(cr, 0.16, 0.3, 0.45);
  cairo_rectangle(cr, 0, 0, pageWidth, 70);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  showText(cr, margin, 18, pageWidth - 2 * margin, "DejaVu Sans Bold 13",
           "Szpital Wojewódzki im. św. Łukasza — Zakład Diagnostyki Obrazowej", nullptr);

  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  double y = 96, height = 0;
  showText(cr, margin, y, pageWidth - 2 * margin, "DejaVu Sans Bold 17",
           "Wynik badania RTG klatki piersiowej", &height);
  y += height + 14;
  const std::string patient = "<b>Pacjentka:</b> Zofia Wiśniewska\n<b>PESEL:</b> " + plan.patient.id +
                              "\n<b>Data badania:</b> " + polishDate(studyDateOf(plan, Anatomy::Chest)) +
                              "\n<b>Projekcje:</b> PA na wdechu i wydechu, boczna lewa" +
                              "\n<b>Skierowanie:</b> przewlekły kaszel, kontrola przed zabiegiem";
  showText(cr, margin, y, pageWidth - 2 * margin, "DejaVu Sans 10.5", patient.c_str(), &height);
  y += height + 16;

  const double pictureSize = 200;
  drawRadiograph(cr, pageWidth - margin - pictureSize, y, pictureSize);
  showText(cr, margin, y, pageWidth - 3 * margin - pictureSize + 30, "DejaVu Serif 11",
           (std::string("<b>Opis</b>\n") + findings).c_str(), &height);
  y += std::max(height, pictureSize) + 20;

  showText(cr, margin, y, pageWidth - 2 * margin, "DejaVu Serif 11",
           "<b>Wnioski</b>\nObraz RTG klatki piersiowej w granicach normy. Nie stwierdza się zmian "
           "zapalnych ani ogniskowych w płucach.",
           &height);
  y += height + 40;
  showText(cr, pageWidth / 2, y, pageWidth / 2 - margin, "DejaVu Sans Oblique 10",
           "lek. med. Jędrzej Kaźmierczak\nspecjalista radiologii i diagnostyki obrazowej", nullptr);

  cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
  showText(cr, margin, pageHeight - 40, pageWidth - 2 * margin, "DejaVu Sans 8",
           "Dokument wygenerowany elektronicznie. Zdjęcia w pełnej rozdzielczości znajdują się na płycie.",
           nullptr);

  cairo_show_page(cr);
  context.reset();
  cairo_surface_finish(surface.get());
  const cairo_status_t status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = path + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace samplemedium
