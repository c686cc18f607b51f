// Printing a report.
#include "reader/reader_printing.h"

#include "platform/glib_owners.h"
#include "reader/report_pictures.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct AttributesRelease {
  void operator()(PangoAttrList *list) const { pango_attr_list_unref(list); }
};
using UniqueAttributes = std::unique_ptr<PangoAttrList, AttributesRelease>;

// A picture on paper: where the layout placed its stand-in.
struct PrintedPicture {
  GdkPixbuf *picture;
  int line;
  double left;
  double width;
  double height;
};

// The text of an HTML report as it goes on paper: one layout, cut into pages
// between its lines, its pictures drawn where their stand-ins stand.
struct TextPrint {
  const ReaderDocument *document = nullptr;
  std::vector<UniqueObject<GdkPixbuf>> pictures;  // those shown, in order
  UniqueObject<PangoLayout> layout;
  std::vector<int> firstLines;  // the first line of each page
  std::vector<double> lineTops;
  std::vector<double> baselines;
  std::vector<PrintedPicture> placed;
};

// A picture's size on paper in points: as on a screen of 96 pixels to the
// inch, and never wider than the paper.
void paperSize(GdkPixbuf *picture, double paperWidth, double &width, double &height) {
  width = gdk_pixbuf_get_width(picture) * 0.75;
  height = gdk_pixbuf_get_height(picture) * 0.75;
  if (width > paperWidth) {
    height *= paperWidth / width;
    width = paperWidth;
  }
}

// Reserves each picture's place in the text: its stand-in character is given
// the picture's size, above the baseline.
void reservePictures(PangoLayout *layout, TextPrint *print, double paperWidth) {
  const char *text = pango_layout_get_text(layout);
  PangoAttrList *attributes = pango_layout_get_attributes(layout);
  UniqueAttributes list(attributes ? pango_attr_list_copy(attributes) : pango_attr_list_new());
  size_t next = 0;
  for (const char *at = std::strstr(text, kPictureStandIn); at != nullptr && next < print->pictures.size();
       at = std::strstr(at + 3, kPictureStandIn)) {
    GdkPixbuf *picture = print->pictures[next++].get();
    double width = 0, height = 0;
    paperSize(picture, paperWidth, width, height);
    PangoRectangle size = {0, -static_cast<int>(height * PANGO_SCALE), static_cast<int>(width * PANGO_SCALE),
                           static_cast<int>(height * PANGO_SCALE)};
    PangoAttribute *shape = pango_attr_shape_new_with_data(&size, &size, picture, nullptr, nullptr);
    shape->start_index = static_cast<guint>(at - text);
    shape->end_index = shape->start_index + 3;
    pango_attr_list_insert(list.get(), shape);
  }
  pango_layout_set_attributes(layout, list.get());
}

// Where the layout placed each picture: its line and left edge.
void placePictures(PangoLayout *layout, TextPrint *print) {
  PangoLayoutIter *iter = pango_layout_get_iter(layout);
  int line = 0;
  PangoLayoutLine *current = pango_layout_iter_get_line_readonly(iter);
  do {
    if (pango_layout_iter_get_line_readonly(iter) != current) {
      current = pango_layout_iter_get_line_readonly(iter);
      ++line;
    }
    PangoLayoutRun *run = pango_layout_iter_get_run_readonly(iter);
    if (run == nullptr) continue;
    for (GSList *item = run->item->analysis.extra_attrs; item != nullptr; item = item->next) {
      PangoAttribute *attribute = static_cast<PangoAttribute *>(item->data);
      if (attribute->klass->type != PANGO_ATTR_SHAPE) continue;
      PangoAttrShape *shape = reinterpret_cast<PangoAttrShape *>(attribute);
      PangoRectangle logical;
      pango_layout_iter_get_run_extents(iter, nullptr, &logical);
      print->placed.push_back({static_cast<GdkPixbuf *>(shape->data), line,
                               static_cast<double>(logical.x) / PANGO_SCALE,
                               static_cast<double>(shape->logical_rect.width) / PANGO_SCALE,
                               static_cast<double>(shape->logical_rect.height) / PANGO_SCALE});
    }
  } while (pango_layout_iter_next_run(iter));
  pango_layout_iter_free(iter);
}

void onBeginTextPrint(GtkPrintOperation *operation, GtkPrintContext *context, TextPrint *print) {
  print->layout.reset(gtk_print_context_create_pango_layout(context));
  PangoLayout *layout = print->layout.get();
  std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> font(
      pango_font_description_from_string("Sans 10"), pango_font_description_free);
  pango_layout_set_font_description(layout, font.get());
  pango_layout_set_width(layout, static_cast<int>(gtk_print_context_get_width(context) * PANGO_SCALE));
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  std::vector<bool> shown;
  for (const ReaderRun &run : print->document->runs) {
    if (run.kind != ReaderRun::Kind::Picture) continue;
    UniqueObject<GdkPixbuf> picture(loadReportPicture(run.picture));
    shown.push_back(picture != nullptr);
    if (picture) print->pictures.push_back(std::move(picture));
  }
  pango_layout_set_markup(layout, readerMarkup(*print->document, shown).c_str(), -1);
  reservePictures(layout, print, gtk_print_context_get_width(context));

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
  placePictures(layout, print);
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
  for (const PrintedPicture &placed : print->placed) {
    size_t line = static_cast<size_t>(placed.line);
    if (line < first || line >= end) continue;
    double top = print->baselines[line] - placed.height - pageTop;
    cairo_save(cairo);
    cairo_translate(cairo, placed.left, top);
    cairo_scale(cairo, placed.width / gdk_pixbuf_get_width(placed.picture),
                placed.height / gdk_pixbuf_get_height(placed.picture));
    gdk_cairo_set_source_pixbuf(cairo, placed.picture, 0, 0);
    cairo_paint(cairo);
    cairo_restore(cairo);
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

std::string readerMarkup(const ReaderDocument &document, const std::vector<bool> &shown) {
  static const char *const headingSizes[] = {"",       "xx-large", "x-large", "large",
                                             "medium", "medium",   "medium"};
  std::string markup;
  size_t picture = 0;
  for (const ReaderRun &run : document.runs) {
    if (run.kind == ReaderRun::Kind::Picture && picture < shown.size() && shown[picture++]) {
      markup += kPictureStandIn;
      continue;
    }
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

GtkPrintOperationResult printReport(GtkWindow *parent, PopplerDocument *pdf, const ReaderDocument &html,
                                    const std::string &exportFile, std::string *error,
                                    const std::string &paperFile) {
  UniqueObject<GtkPrintOperation> operation(gtk_print_operation_new());
  if (!paperFile.empty()) {
    // Otherwise the toolkit's file printer aims at the current folder: the disc.
    UniqueObject<GtkPrintSettings> settings(gtk_print_settings_new());
    UniqueString uri(g_filename_to_uri(paperFile.c_str(), nullptr, nullptr));
    if (uri) gtk_print_settings_set(settings.get(), GTK_PRINT_SETTINGS_OUTPUT_URI, uri.get());
    gtk_print_operation_set_print_settings(operation.get(), settings.get());
  }
  gtk_print_operation_set_unit(operation.get(), GTK_UNIT_POINTS);
  gtk_print_operation_set_job_name(operation.get(), "Opis badania");
  TextPrint text;
  if (pdf != nullptr) {
    gtk_print_operation_set_n_pages(operation.get(), poppler_document_get_n_pages(pdf));
    g_signal_connect(operation.get(), "draw-page", G_CALLBACK(onDrawPdfPage), pdf);
  } else {
    text.document = &html;
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
