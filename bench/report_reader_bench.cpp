// The reader against the libraries' own work: the first page of a 20-page PDF
// drawn in the reader window against poppler's bare render of that page to an
// image surface, and a 200 KB HTML report shown against libxml2's bare parse
// plus the insertion of its text, with the same kinds of styles, into a text view.
// Run: xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/report_reader_bench
#include "descriptions/wrapper_page.h"
#include "reader/html_text.h"
#include "reader/report_reader.h"

#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <gtk/gtk.h>
#include <libxml/HTMLparser.h>
#include <poppler.h>

#include <glib/gstdio.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::string folder() {
  static std::string path = [] {
    gchar *made = g_dir_make_tmp("reader-bench-XXXXXX", nullptr);
    std::string result = made;
    g_free(made);
    return result;
  }();
  return path;
}

// 20 A4 pages of text set like a report.
std::string pdfFile() {
  std::string path = folder() + "/wynik.pdf";
  if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return path;
  cairo_surface_t *surface = cairo_pdf_surface_create(path.c_str(), 595, 842);
  cairo_t *cairo = cairo_create(surface);
  cairo_set_font_size(cairo, 10);
  for (int page = 0; page < 20; ++page) {
    for (int line = 0; line < 60; ++line) {
      cairo_move_to(cairo, 50, 60 + line * 12);
      cairo_show_text(cairo, "Układ komorowy symetryczny, nieposzerzony. Przestrzenie płynowe w normie.");
    }
    cairo_rectangle(cairo, 50, 790, 300, 20);
    cairo_fill(cairo);
    cairo_show_page(cairo);
  }
  cairo_destroy(cairo);
  cairo_surface_destroy(surface);
  return path;
}

std::string htmlReport() {
  std::string html;
  for (int part = 0; html.size() < 200 * 1024; ++part)
    html +=
        "<h3>Część " + std::to_string(part) +
        "</h3><p>Układ komorowy <b>symetryczny</b>, nieposzerzony, <i>nieprzemieszczony</i>. Przestrzenie "
        "płynowe przymózgowe w normie.</p><table><tr><td>Pacjent:</td><td>Zofia</td></tr></table><ul><li>"
        "jeden</li><li>dwa</li></ul>";
  return html;
}

std::string htmlFile() {
  std::string path = folder() + "/opis.html";
  if (!g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) {
    std::string html = htmlReport();
    g_file_set_contents(path.c_str(), html.data(), static_cast<gssize>(html.size()), nullptr);
  }
  return path;
}

void showAndDestroy(GtkWidget *window) {
  gdk_window_process_all_updates();
  gdk_flush();
  gtk_widget_destroy(window);
  while (gtk_events_pending()) gtk_main_iteration();
}

void readerPdfFirstPage(benchmark::State &state) {
  ReaderReport report;
  report.file = pdfFile();
  report.name = "wynik.pdf";
  report.pdf = true;
  for (auto _ : state) showAndDestroy(openReportReader(report));
}

// What poppler needs for the same page at the width the reader draws it.
void popplerBareFirstPage(benchmark::State &state) {
  gchar *uri = g_filename_to_uri(pdfFile().c_str(), nullptr, nullptr);
  for (auto _ : state) {
    PopplerDocument *document = poppler_document_new_from_file(uri, nullptr, nullptr);
    PopplerPage *page = poppler_document_get_page(document, 0);
    double scale = (820 - 24 - 20) / 595.0;
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(595 * scale),
                                                          static_cast<int>(842 * scale));
    cairo_t *cairo = cairo_create(surface);
    cairo_scale(cairo, scale, scale);
    poppler_page_render(page, cairo);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    g_object_unref(page);
    g_object_unref(document);
  }
  g_free(uri);
}

void readerHtml200k(benchmark::State &state) {
  ReaderReport report;
  report.file = htmlFile();
  report.name = "opis.html";
  report.pageHead = wrapperPageHead();
  report.pageTail = wrapperPageTail();
  for (auto _ : state) showAndDestroy(openReportReader(report));
}

// The reader's own part of the page's way: the parse and the walk into runs.
void readerHtmlText200k(benchmark::State &state) {
  std::string html = wrapperPageHead() + htmlReport() + wrapperPageTail();
  for (auto _ : state) benchmark::DoNotOptimize(readerDocumentFromHtml(html, nullptr).runs.size());
}

// The bare styled text of a page: every text node on a line of its own, with
// the style its elements give it (headings, bold, italic, cells of text alone
// in a fixed-width font), as a stretch of characters for one tag per style.
struct BareText {
  std::string text;
  int characters = 0;
  struct Stretch {
    int start, end, style;
  };
  std::vector<Stretch> stretches;
};

void appendText(xmlNode *node, int style, BareText &bare) {
  for (; node != nullptr; node = node->next) {
    int inner = style;
    if (node->type == XML_ELEMENT_NODE) {
      std::string name = reinterpret_cast<const char *>(node->name);
      if (name == "b" || name == "strong" || name == "th") inner |= 1;
      if (name == "i" || name == "em") inner |= 2;
      // A cell of text alone is one of data, set in columns.
      bool textOnly = true;
      for (xmlNode *child = node->children; child != nullptr; child = child->next)
        textOnly = textOnly && child->type == XML_TEXT_NODE;
      if (((name == "td" || name == "th") && textOnly) || name == "pre" || name == "code") inner |= 4;
      if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')
        inner |= (name[1] - '0') << 3;
    }
    if (node->type == XML_TEXT_NODE && node->content) {
      std::string text = std::string(reinterpret_cast<const char *>(node->content)) + "\n";
      int length = static_cast<int>(g_utf8_strlen(text.data(), static_cast<gssize>(text.size())));
      if (style != 0 && !bare.stretches.empty() && bare.stretches.back().style == style &&
          bare.stretches.back().end == bare.characters)
        bare.stretches.back().end += length;
      else if (style != 0)
        bare.stretches.push_back({bare.characters, bare.characters + length, style});
      bare.text += text;
      bare.characters += length;
    }
    appendText(node->children, inner, bare);
  }
}

// libxml2's parse of the same page and its text put into a shown text view
// with the same kinds of tags as the reader's: one per style, each stretch
// tagged once, the text inserted at once.
void libxml2BareHtml200k(benchmark::State &state) {
  std::string html = wrapperPageHead() + htmlReport() + wrapperPageTail();
  for (auto _ : state) {
    htmlDocPtr document = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
                                         HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
    BareText bare;
    appendText(xmlDocGetRootElement(document), 0, bare);
    xmlFreeDoc(document);
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 820, 900);
    GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    GtkWidget *view = gtk_text_view_new();
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, bare.text.data(), static_cast<gint>(bare.text.size()));
    std::map<int, GtkTextTag *> tags;
    GtkTextIter from, to;
    gtk_text_buffer_get_start_iter(buffer, &from);
    int at = 0;
    for (const BareText::Stretch &stretch : bare.stretches) {
      GtkTextTag *&tag = tags[stretch.style];
      if (tag == nullptr) {
        tag = gtk_text_buffer_create_tag(buffer, nullptr, nullptr);
        if (stretch.style & 1) g_object_set(tag, "weight", PANGO_WEIGHT_BOLD, nullptr);
        if (stretch.style & 2) g_object_set(tag, "style", PANGO_STYLE_ITALIC, nullptr);
        if (stretch.style & 4) g_object_set(tag, "family", "monospace", nullptr);
        if (stretch.style >> 3) g_object_set(tag, "scale", 1.3, nullptr);
      }
      gtk_text_iter_forward_chars(&from, stretch.start - at);
      at = stretch.start;
      to = from;
      gtk_text_iter_forward_chars(&to, stretch.end - stretch.start);
      gtk_text_buffer_apply_tag(buffer, tag, &from, &to);
    }
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    gtk_widget_show_all(window);
    showAndDestroy(window);
  }
}

BENCHMARK(readerPdfFirstPage)->Unit(benchmark::kMillisecond);
BENCHMARK(popplerBareFirstPage)->Unit(benchmark::kMillisecond);
BENCHMARK(readerHtml200k)->Unit(benchmark::kMillisecond);
BENCHMARK(libxml2BareHtml200k)->Unit(benchmark::kMillisecond);
BENCHMARK(readerHtmlText200k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
