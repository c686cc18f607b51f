// Printing a report.
#include "reader/reader_printing.h"

#include "platform/glib_owners.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The text of an HTML report as it goes on paper: one layout, cut into pages
// between its lines.
struct TextPrint {
  std::string markup;
  UniqueObject<PangoLayout> layout;
  std::vector<int> firstLines;  // the first line of each page
  std::vector<double> lineTops;
  std::vector<double> baselines;
};

void onBeginTextPrint(GtkPrintOperation *operation, GtkPrintContext *context, TextPrint *print) {
  print->layout.reset(gtk_print_context_create_pango_layout(context));
  PangoLayout *layout = print->layout.get();
  std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> font(
      pango_font_description_from_string("Sans 10"), pango_font_description_free);
  pango_layout_set_font_description(layout, font.get());
  pango_layout_set_width(layout, static_cast<int>(gtk_print_context_get_width(context) * PANGO_SCALE));
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_markup(layout, print->markup.c_str(), -1);

  double pageHeight = gtk_print_context_get_height(context);
  double pageTop = 0;
  print->firstLines.assign(1, 0);
  PangoLayoutIter *iter = pango_layout_get_iter(layout);
  int line = 0;
  do {
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(iter, nullptr, &logical);
    double top = static_cast<double>(logical.y) / PANGO_SCALE;
    double bottom = top + static_cast<double>(logical.height) / PANGO_SCALE;
    if (bottom - pageTop > pageHeight && line > print->firstLines.back()) {
      print->firstLines.push_back(line);
      pageTop = top;
    }
    print->lineTops.push_back(top);
    print->baselines.push_back(static_cast<double>(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE);
    ++line;
  } while (pango_layout_iter_next_line(iter));
  pango_layout_iter_free(iter);
  gtk_print_operation_set_n_pages(operation, static_cast<int>(print->firstLines.size()));
}

void onDrawTextPage(GtkPrintOperation *, GtkPrintContext *context, int page, TextPrint *print) {
  cairo_t *cairo = gtk_print_context_get_cairo_context(context);
  size_t first = static_cast<size_t>(print->firstLines[static_cast<size_t>(page)]);
  size_t end = static_cast<size_t>(page) + 1 < print->firstLines.size()
                   ? static_cast<size_t>(print->firstLines[static_cast<size_t>(page) + 1])
                   : print->lineTops.size();
  double pageTop = print->lineTops[first];
  cairo_set_source_rgb(cairo, 0, 0, 0);
  for (size_t line = first; line < end; ++line) {
    cairo_move_to(cairo, 0, print->baselines[line] - pageTop);
    pango_cairo_show_layout_line(cairo,
                                 pango_layout_get_line_readonly(print->layout.get(), static_cast<int>(line)));
  }
}

// Each page of the PDF fills the printable area as far as its proportions allow.
void onDrawPdfPage(GtkPrintOperation *, GtkPrintContext *context, int page, PopplerDocument *pdf) {
  UniqueObject<PopplerPage> source(poppler_document_get_page(pdf, page));
  if (!source) return;
  double width = 0, height = 0;
  poppler_page_get_size(source.get(), &width, &height);
  if (width <= 0 || height <= 0) return;
  double scale =
      std::min(gtk_print_context_get_width(context) / width, gtk_print_context_get_height(context) / height);
  cairo_t *cairo = gtk_print_context_get_cairo_context(context);
  cairo_save(cairo);
  cairo_scale(cairo, scale, scale);
  poppler_page_render_for_printing(source.get(), cairo);
  cairo_restore(cairo);
}

}  // namespace

std::string readerMarkup(const ReaderDocument &document) {
  static const char *const headingSizes[] = {"",       "xx-large", "x-large", "large",
                                             "medium", "medium",   "medium"};
  std::string markup;
  for (const ReaderRun &run : document.runs) {
    std::string text =
        run.kind == ReaderRun::Kind::Picture ? (run.text.empty() ? "" : "[" + run.text + "]") : run.text;
    UniqueString escaped(g_markup_escape_text(text.c_str(), static_cast<gssize>(text.size())));
    std::string attributes;
    if (run.bold) attributes += " weight=\"bold\"";
    if (run.italic) attributes += " style=\"italic\"";
    if (run.monospace) attributes += " font_family=\"monospace\"";
    if (run.heading > 0 && run.heading <= 6)
      attributes += std::string(" size=\"") + headingSizes[run.heading] + "\"";
    markup += attributes.empty() ? escaped.get() : "<span" + attributes + ">" + escaped.get() + "</span>";
  }
  return markup;
}

GtkPrintOperationResult printReport(GtkWindow *parent, PopplerDocument *pdf, const std::string &markup,
                                    const std::string &exportFile, std::string *error) {
  UniqueObject<GtkPrintOperation> operation(gtk_print_operation_new());
  gtk_print_operation_set_unit(operation.get(), GTK_UNIT_POINTS);
  gtk_print_operation_set_job_name(operation.get(), "Opis badania");
  TextPrint text;
  if (pdf != nullptr) {
    gtk_print_operation_set_n_pages(operation.get(), poppler_document_get_n_pages(pdf));
    g_signal_connect(operation.get(), "draw-page", G_CALLBACK(onDrawPdfPage), pdf);
  } else {
    text.markup = markup;
    g_signal_connect(operation.get(), "begin-print", G_CALLBACK(onBeginTextPrint), &text);
    g_signal_connect(operation.get(), "draw-page", G_CALLBACK(onDrawTextPage), &text);
  }
  GtkPrintOperationAction action = GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG;
  if (!exportFile.empty()) {
    gtk_print_operation_set_export_filename(operation.get(), exportFile.c_str());
    action = GTK_PRINT_OPERATION_ACTION_EXPORT;
  }
  GError *rawError = nullptr;
  GtkPrintOperationResult result = gtk_print_operation_run(operation.get(), action, parent, &rawError);
  UniqueError failure(rawError);
  if (failure && error != nullptr) *error = failure->message;
  return result;
}
