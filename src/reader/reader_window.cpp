// The reader window: a PDF's pages drawn at fit-width, or an HTML report's
// text, with zoom, printing and saving a copy. Main thread only.
#include "reader/report_reader.h"

#include "base/medium_links.h"
#include "platform/glib_owners.h"
#include "platform/platform.h"
#include "reader/html_text.h"
#include "reader/pdf_layout.h"
#include "reader/reader_printing.h"
#include "reader/report_copy.h"
#include "reader/report_pictures.h"
#include "ui/keyboard_access.h"

#include <gdk/gdkkeysyms.h>
#include <glib/gstdio.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// An HTML report larger than this is not read: its text would take too long to lay out.
constexpr size_t kMostHtmlBytes = 16 * 1024 * 1024;
constexpr double kScrollStep = 40;

const char *const kReaderName = "CzytnikOpisu";

struct CairoRelease {
  void operator()(cairo_t *cairo) const { cairo_destroy(cairo); }
};
using UniqueCairo = std::unique_ptr<cairo_t, CairoRelease>;

struct BytesRelease {
  void operator()(GBytes *bytes) const { g_bytes_unref(bytes); }
};

// Everything one window shows; deleted with the window.
struct Reader {
  ReaderReport report;
  GtkWidget *window = nullptr;
  GtkWidget *pageLabel = nullptr;
  GtkWidget *printButton = nullptr;
  // PDF: the drawing area and its scroll bars' adjustments.
  std::unique_ptr<GBytes, BytesRelease> bytes;
  UniqueObject<PopplerDocument> pdf;
  std::unique_ptr<PdfLayout> layout;
  GtkWidget *pageView = nullptr;
  GtkAdjustment *vertical = nullptr;
  GtkAdjustment *horizontal = nullptr;
  int captionPage = -1;
  // The idle call that gives the page's text to screen readers, or 0.
  guint textSource = 0;
  // HTML: the text view in its scrolled window.
  ReaderDocument html;
  GtkWidget *textView = nullptr;
  double textZoom = 1;
  int baseFontSize = 0;
};

// Process-wide: opening a report finds its reader here when it is open already,
// and a reader's destroy notification, which carries that reader only, takes it out.
std::vector<Reader *> openReaders;

void deleteReader(gpointer data) {
  Reader *reader = static_cast<Reader *>(data);
  if (reader->textSource != 0) g_source_remove(reader->textSource);
  openReaders.erase(std::remove(openReaders.begin(), openReaders.end(), reader), openReaders.end());
  delete reader;
}

void showMessage(GtkWidget *parent, GtkMessageType type, const std::string &text) {
  GtkWidget *dialog = gtk_message_dialog_new(GTK_WINDOW(parent), GTK_DIALOG_DESTROY_WITH_PARENT, type,
                                             GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Opis badania");
  g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
  gtk_widget_show(dialog);
}

// ---- PDF pages ----

GtkAdjustment *scrollingOf(Reader *reader) {
  if (reader->vertical != nullptr) return reader->vertical;
  if (reader->textView == nullptr) return nullptr;
  return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(gtk_widget_get_parent(reader->textView)));
}

void setScroll(GtkAdjustment *adjustment, double value) {
  double upper = gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment);
  gtk_adjustment_set_value(adjustment, std::clamp(value, 0.0, std::max(upper, 0.0)));
}

int currentPage(Reader *reader) {
  double top = gtk_adjustment_get_value(reader->vertical);
  return reader->layout->pageAt(top + gtk_adjustment_get_page_size(reader->vertical) / 3);
}

// What a screen reader reads of the pages: the page in view and its text.
// Taken once the pages are drawn: the text costs about as much as the drawing.
gboolean exposePageText(gpointer data) {
  Reader *reader = static_cast<Reader *>(data);
  reader->textSource = 0;
  int page = reader->captionPage;
  UniqueObject<PopplerPage> shown(poppler_document_get_page(reader->pdf.get(), page));
  UniqueString text(shown ? poppler_page_get_text(shown.get()) : nullptr);
  setAccessibleName(reader->pageView, pageCaption(page, reader->layout->pageCount()), text ? text.get() : "");
  return FALSE;
}

void updatePageCaption(Reader *reader) {
  int page = currentPage(reader);
  if (page == reader->captionPage) return;
  reader->captionPage = page;
  std::string caption = pageCaption(page, reader->layout->pageCount());
  gtk_label_set_text(GTK_LABEL(reader->pageLabel), caption.c_str());
  setAccessibleName(reader->pageView, caption);
  if (reader->textSource == 0)
    reader->textSource = g_idle_add_full(G_PRIORITY_LOW, exposePageText, reader, nullptr);
}

void updateAdjustments(Reader *reader) {
  GtkAllocation allocation;
  gtk_widget_get_allocation(reader->pageView, &allocation);
  double width = allocation.width, height = allocation.height;
  reader->layout->setViewWidth(width);
  gtk_adjustment_configure(reader->vertical, gtk_adjustment_get_value(reader->vertical), 0,
                           reader->layout->documentHeight(), kScrollStep, height * 0.9, height);
  gtk_adjustment_configure(reader->horizontal, gtk_adjustment_get_value(reader->horizontal), 0,
                           std::max(reader->layout->documentWidth(), width), kScrollStep, width * 0.9, width);
  setScroll(reader->vertical, gtk_adjustment_get_value(reader->vertical));
  setScroll(reader->horizontal, gtk_adjustment_get_value(reader->horizontal));
}

// Zooms the pages, keeping the place in the middle of the view where it is.
void zoomPages(Reader *reader, bool in) {
  double middle =
      gtk_adjustment_get_value(reader->vertical) + gtk_adjustment_get_page_size(reader->vertical) / 2;
  double share = middle / std::max(reader->layout->documentHeight(), 1.0);
  if (in)
    reader->layout->zoomIn();
  else
    reader->layout->zoomOut();
  updateAdjustments(reader);
  setScroll(reader->vertical,
            share * reader->layout->documentHeight() - gtk_adjustment_get_page_size(reader->vertical) / 2);
  gtk_widget_queue_draw(reader->pageView);
}

void goToPage(Reader *reader, int page) {
  page = std::clamp(page, 0, reader->layout->pageCount() - 1);
  setScroll(reader->vertical, reader->layout->pageTop(page) - PdfLayout::kGap / 2);
}

gboolean onPagesExposed(GtkWidget *view, GdkEventExpose *event, Reader *reader) {
  UniqueCairo cairo(gdk_cairo_create(gtk_widget_get_window(view)));
  gdk_cairo_region(cairo.get(), event->region);
  cairo_clip(cairo.get());
  cairo_set_source_rgb(cairo.get(), 0.45, 0.45, 0.45);
  cairo_paint(cairo.get());
  GtkAllocation allocation;
  gtk_widget_get_allocation(view, &allocation);
  double top = gtk_adjustment_get_value(reader->vertical);
  double left = gtk_adjustment_get_value(reader->horizontal);
  const PdfLayout &layout = *reader->layout;
  // Only the pages in view are drawn, each straight from the document.
  for (int page = layout.pageAt(top); page < layout.pageCount(); ++page) {
    double y = layout.pageTop(page) - top;
    if (y > allocation.height) break;
    double x = layout.pageLeft(page, allocation.width) - left;
    double width = layout.pageWidth(page), height = layout.pageHeight(page);
    cairo_save(cairo.get());
    cairo_rectangle(cairo.get(), x, y, width, height);
    cairo_clip(cairo.get());
    cairo_set_source_rgb(cairo.get(), 1, 1, 1);
    cairo_paint(cairo.get());
    UniqueObject<PopplerPage> source(poppler_document_get_page(reader->pdf.get(), page));
    if (source) {
      cairo_translate(cairo.get(), x, y);
      cairo_scale(cairo.get(), width / layout.pointWidth(page), height / layout.pointHeight(page));
      poppler_page_render(source.get(), cairo.get());
    }
    cairo_restore(cairo.get());
  }
  return TRUE;
}

void onPagesResized(GtkWidget *, GtkAllocation *, Reader *reader) {
  updateAdjustments(reader);
  updatePageCaption(reader);
}

void onPagesScrolled(GtkAdjustment *, Reader *reader) {
  updatePageCaption(reader);
  gtk_widget_queue_draw(reader->pageView);
}

gboolean onPagesWheel(GtkWidget *, GdkEventScroll *event, Reader *reader) {
  bool up = event->direction == GDK_SCROLL_UP, down = event->direction == GDK_SCROLL_DOWN;
  if ((event->state & GDK_CONTROL_MASK) && (up || down)) {
    zoomPages(reader, up);
    return TRUE;
  }
  GtkAdjustment *adjustment = event->direction == GDK_SCROLL_LEFT || event->direction == GDK_SCROLL_RIGHT
                                  ? reader->horizontal
                                  : reader->vertical;
  double step = (up || event->direction == GDK_SCROLL_LEFT) ? -3 * kScrollStep : 3 * kScrollStep;
  setScroll(adjustment, gtk_adjustment_get_value(adjustment) + step);
  return TRUE;
}

gboolean onPagesPressed(GtkWidget *view, GdkEventButton *, Reader *) {
  gtk_widget_grab_focus(view);
  return FALSE;
}

GtkWidget *buildPageView(Reader *reader) {
  reader->layout = std::make_unique<PdfLayout>(reader->pdf.get());
  reader->vertical = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 1, kScrollStep, 100, 100));
  reader->horizontal = GTK_ADJUSTMENT(gtk_adjustment_new(0, 0, 1, kScrollStep, 100, 100));
  reader->pageView = gtk_drawing_area_new();
  gtk_widget_set_name(reader->pageView, "StronyOpisu");
  gtk_widget_set_can_focus(reader->pageView, TRUE);
  gtk_widget_add_events(reader->pageView, GDK_SCROLL_MASK | GDK_BUTTON_PRESS_MASK);
  gtk_widget_set_size_request(reader->pageView, 200, 200);
  g_signal_connect(reader->pageView, "expose-event", G_CALLBACK(onPagesExposed), reader);
  g_signal_connect(reader->pageView, "size-allocate", G_CALLBACK(onPagesResized), reader);
  g_signal_connect(reader->pageView, "scroll-event", G_CALLBACK(onPagesWheel), reader);
  g_signal_connect(reader->pageView, "button-press-event", G_CALLBACK(onPagesPressed), reader);
  g_signal_connect(reader->vertical, "value-changed", G_CALLBACK(onPagesScrolled), reader);
  g_signal_connect(reader->horizontal, "value-changed", G_CALLBACK(onPagesScrolled), reader);

  // Scroll bars of our own: the document's height in pixels can be far beyond
  // what a window of the toolkit may be.
  GtkWidget *table = gtk_table_new(2, 2, FALSE);
  gtk_table_attach(GTK_TABLE(table), reader->pageView, 0, 1, 0, 1, GtkAttachOptions(GTK_EXPAND | GTK_FILL),
                   GtkAttachOptions(GTK_EXPAND | GTK_FILL), 0, 0);
  gtk_table_attach(GTK_TABLE(table), gtk_vscrollbar_new(reader->vertical), 1, 2, 0, 1, GTK_FILL,
                   GtkAttachOptions(GTK_EXPAND | GTK_FILL), 0, 0);
  gtk_table_attach(GTK_TABLE(table), gtk_hscrollbar_new(reader->horizontal), 0, 1, 1, 2,
                   GtkAttachOptions(GTK_EXPAND | GTK_FILL), GTK_FILL, 0, 0);
  setAccessibleName(reader->pageView, pageCaption(0, reader->layout->pageCount()));
  gtk_label_set_text(GTK_LABEL(reader->pageLabel), pageCaption(0, reader->layout->pageCount()).c_str());
  return table;
}

// ---- HTML text ----

// One tag per combination of styles a run has, made when first needed: a
// stretch then takes one tag, and the buffer holds as few tag boundaries as
// its styles allow (each one costs in laying out, drawing and freeing).
class TextTags {
 public:
  explicit TextTags(GtkTextBuffer *buffer) : buffer_(buffer) {}

  // Null for plain text.
  GtkTextTag *of(const ReaderRun &run) {
    int heading = run.heading > 0 && run.heading <= 6 ? run.heading : 0;
    bool bold = run.bold || heading > 0;
    if (!bold && !run.italic && !run.monospace && heading == 0) return nullptr;
    size_t key = (static_cast<size_t>(heading) << 3) | (bold ? 4u : 0u) | (run.italic ? 2u : 0u) |
                 (run.monospace ? 1u : 0u);
    if (made_[key] != nullptr) return made_[key];
    GtkTextTag *tag = gtk_text_buffer_create_tag(buffer_, nullptr, nullptr);
    if (bold) g_object_set(tag, "weight", PANGO_WEIGHT_BOLD, nullptr);
    if (run.italic) g_object_set(tag, "style", PANGO_STYLE_ITALIC, nullptr);
    if (run.monospace) g_object_set(tag, "family", "monospace", nullptr);
    if (heading > 0) {
      const double scales[] = {2.0, 1.6, 1.3, 1.15, 1.0, 0.9};
      g_object_set(tag, "scale", scales[heading - 1], "pixels-below-lines", 4, nullptr);
    }
    made_[key] = tag;
    return tag;
  }

 private:
  GtkTextBuffer *buffer_;
  GtkTextTag *made_[7 << 3] = {};
};

// A stretch of the buffer, in characters, and its tag.
struct StyledStretch {
  int start;
  int end;
  GtkTextTag *tag;
};

// The text goes in with one insertion per stretch between pictures and its
// styles are applied afterwards, stretch by stretch from the start: thousands
// of small insertions, each finding its place again, took most of the time
// a long report needed to show.
void fillText(GtkTextBuffer *buffer, const ReaderDocument &document) {
  TextTags tags(buffer);
  static const ReaderRun italicRun = [] {
    ReaderRun run;
    run.italic = true;
    return run;
  }();
  GtkTextIter end;
  gtk_text_buffer_get_end_iter(buffer, &end);
  std::string pending;
  int characters = 0;
  std::vector<StyledStretch> styled;
  auto flush = [&] {
    gtk_text_buffer_insert(buffer, &end, pending.data(), static_cast<gint>(pending.size()));
    pending.clear();
  };
  auto add = [&](const std::string &text, const ReaderRun &style) {
    int length = static_cast<int>(g_utf8_strlen(text.data(), static_cast<gssize>(text.size())));
    GtkTextTag *tag = tags.of(style);
    if (tag != nullptr && !styled.empty() && styled.back().tag == tag && styled.back().end == characters)
      styled.back().end += length;
    else if (tag != nullptr)
      styled.push_back({characters, characters + length, tag});
    pending += text;
    characters += length;
  };
  for (const ReaderRun &run : document.runs) {
    if (run.kind == ReaderRun::Kind::Text) {
      add(run.text, run);
      continue;
    }
    UniqueObject<GdkPixbuf> picture(loadReportPicture(run.picture));
    if (picture) {
      flush();
      gtk_text_buffer_insert_pixbuf(buffer, &end, picture.get());
      characters += 1;
    } else if (!run.text.empty()) {
      add("[" + run.text + "]", italicRun);
    }
  }
  if (document.cut)
    add("\n\n[Opis jest bardzo długi, więc pokazano tylko jego początek. Całość można zapisać przyciskiem "
        "„Zapisz kopię…” i otworzyć innym programem.]",
        italicRun);
  flush();

  GtkTextIter from, to;
  gtk_text_buffer_get_start_iter(buffer, &from);
  int at = 0;
  for (const StyledStretch &stretch : styled) {
    gtk_text_iter_forward_chars(&from, stretch.start - at);
    at = stretch.start;
    to = from;
    gtk_text_iter_forward_chars(&to, stretch.end - stretch.start);
    gtk_text_buffer_apply_tag(buffer, stretch.tag, &from, &to);
  }
}

void zoomText(Reader *reader, bool in) {
  reader->textZoom = std::clamp(in ? reader->textZoom * 1.25 : reader->textZoom / 1.25, 0.5, 4.0);
  std::unique_ptr<PangoFontDescription, decltype(&pango_font_description_free)> font(
      pango_font_description_copy(gtk_widget_get_style(reader->textView)->font_desc),
      pango_font_description_free);
  pango_font_description_set_size(font.get(), static_cast<int>(reader->baseFontSize * reader->textZoom));
  gtk_widget_modify_font(reader->textView, font.get());
}

GtkWidget *buildTextView(Reader *reader) {
  reader->textView = gtk_text_view_new();
  gtk_widget_set_name(reader->textView, "TekstOpisu");
  GtkTextView *view = GTK_TEXT_VIEW(reader->textView);
  gtk_text_view_set_editable(view, FALSE);
  gtk_text_view_set_cursor_visible(view, FALSE);
  gtk_text_view_set_wrap_mode(view, GTK_WRAP_WORD_CHAR);
  gtk_text_view_set_left_margin(view, 16);
  gtk_text_view_set_right_margin(view, 16);
  fillText(gtk_text_view_get_buffer(view), reader->html);
  reader->baseFontSize = pango_font_description_get_size(gtk_widget_get_style(reader->textView)->font_desc);
  GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scrolled), reader->textView);
  return scrolled;
}

GtkWidget *messageView(const std::string &message) {
  GtkWidget *label = gtk_label_new(message.c_str());
  gtk_widget_set_name(label, "KomunikatCzytnika");
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_widget_set_size_request(label, 500, -1);
  return label;
}

// ---- Reading the report ----

std::string sizeRefusal(const std::string &file, size_t most) {
  GStatBuf status;
  if (g_stat(file.c_str(), &status) == 0 && static_cast<guint64>(status.st_size) > most)
    return "Opis jest zbyt duży (ponad " + std::to_string(most / (1024 * 1024)) +
           " MB), by go tu wyświetlić. Można zapisać jego kopię przyciskiem „Zapisz kopię…”.";
  return "";
}

// The content of the window: the report, or why it cannot be shown.
GtkWidget *buildContent(Reader *reader) {
  const std::string &file = reader->report.file;
  size_t most = reader->report.pdf ? kMostPdfBytes : kMostHtmlBytes;
  std::string refusal = sizeRefusal(file, most);
  if (!refusal.empty()) return messageView(refusal);
  std::string content;
  if (!platform::readRegularFile(file, most, content))
    return messageView("Nie można odczytać pliku opisu. Sprawdź, czy płyta jest w napędzie.");
  if (reader->report.pdf) {
    reader->bytes.reset(g_bytes_new(content.data(), content.size()));
    PdfOpening opening = openPdf(reader->bytes.get());
    if (!opening.document) return messageView(opening.message);
    reader->pdf = std::move(opening.document);
    return buildPageView(reader);
  }
  std::string report = content.substr(0, content.find('\0'));
  std::string page = reader->report.pageHead + reportHtmlAsUtf8(report) + reader->report.pageTail;
  std::string absolute = g_path_is_absolute(file.c_str()) ? file : platform::currentDirectory() + "/" + file;
  reader->html = readerDocumentFromHtml(page, mediumPictureResolver(absolute, resolvedMediumRoot()));
  return buildTextView(reader);
}

// ---- Actions ----

// Where copies and printouts into a file go unless the user picks another folder.
std::string copyFolder() {
  const char *documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
  if (documents != nullptr && g_file_test(documents, G_FILE_TEST_IS_DIR)) return documents;
  return g_get_home_dir();
}

void printShown(Reader *reader) {
  if (reader->pdf == nullptr && reader->textView == nullptr) return;
  UniqueString name(g_path_get_basename(reader->report.file.c_str()));
  std::string stem = name.get();
  stem = stem.substr(0, stem.rfind('.'));
  UniqueString paper(g_build_filename(copyFolder().c_str(), (stem + "-wydruk.pdf").c_str(), nullptr));
  std::string error;
  GtkPrintOperationResult result =
      printReport(GTK_WINDOW(reader->window), reader->pdf.get(), reader->html, "", &error, paper.get());
  if (result == GTK_PRINT_OPERATION_RESULT_ERROR)
    showMessage(reader->window, GTK_MESSAGE_WARNING, "Drukowanie opisu nie powiodło się: " + error);
}

void saveCopy(Reader *reader) {
  GtkWidget *chooser = gtk_file_chooser_dialog_new(
      "Zapisz kopię opisu", GTK_WINDOW(reader->window), GTK_FILE_CHOOSER_ACTION_SAVE, GTK_STOCK_CANCEL,
      GTK_RESPONSE_CANCEL, GTK_STOCK_SAVE, GTK_RESPONSE_ACCEPT, nullptr);
  gtk_widget_set_name(chooser, "ZapisKopiiOpisu");
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), copyFolder().c_str());
  UniqueString name(g_path_get_basename(reader->report.file.c_str()));
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), name.get());
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    UniqueString target(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser)));
    if (target) {
      CopySaving result = saveReportCopy(reader->report.file, target.get(), resolvedMediumRoot());
      showMessage(reader->window, result == CopySaving::Saved ? GTK_MESSAGE_INFO : GTK_MESSAGE_WARNING,
                  copySavingMessage(result, target.get()));
    }
  }
  gtk_widget_destroy(chooser);
}

void zoom(Reader *reader, bool in) {
  if (reader->layout) zoomPages(reader, in);
  if (reader->textView) zoomText(reader, in);
}

// PgUp and PgDn go by pages of a PDF and by screens of a text; Home and End
// to the beginning and the end.
bool scrollByKey(Reader *reader, guint key) {
  GtkAdjustment *adjustment = scrollingOf(reader);
  if (adjustment == nullptr) return false;
  double value = gtk_adjustment_get_value(adjustment);
  double screen = gtk_adjustment_get_page_increment(adjustment);
  bool pages = reader->layout != nullptr;
  switch (key) {
    case GDK_Page_Down:
    case GDK_KP_Page_Down:
      if (pages)
        goToPage(reader, currentPage(reader) + 1);
      else
        setScroll(adjustment, value + screen);
      return true;
    case GDK_Page_Up:
    case GDK_KP_Page_Up: {
      if (!pages) {
        setScroll(adjustment, value - screen);
        return true;
      }
      // Back to the top of the page in view, or to the page before when already there.
      int page = currentPage(reader);
      bool atTop = value <= reader->layout->pageTop(page) - PdfLayout::kGap / 2 + 1;
      goToPage(reader, atTop ? page - 1 : page);
      return true;
    }
    case GDK_Home:
    case GDK_KP_Home:
      setScroll(adjustment, 0);
      return true;
    case GDK_End:
    case GDK_KP_End:
      setScroll(adjustment, gtk_adjustment_get_upper(adjustment));
      return true;
    case GDK_Down:
    case GDK_Up:
      if (!pages) return false;
      setScroll(adjustment, value + (key == GDK_Down ? kScrollStep : -kScrollStep));
      return true;
    case GDK_Left:
    case GDK_Right:
      if (!pages) return false;
      setScroll(reader->horizontal, gtk_adjustment_get_value(reader->horizontal) +
                                        (key == GDK_Right ? kScrollStep : -kScrollStep));
      return true;
    default:
      return false;
  }
}

// ---- Signal handlers ----

gboolean onReaderKey(GtkWidget *, GdkEventKey *event, Reader *reader) {
  bool control = (event->state & GDK_CONTROL_MASK) != 0;
  bool alternate = (event->state & GDK_MOD1_MASK) != 0;
  if (alternate) return FALSE;
  guint key = gdk_keyval_to_lower(event->keyval);
  if (control && key == GDK_p) {
    printShown(reader);
    return TRUE;
  }
  if (control && key == GDK_s) {
    saveCopy(reader);
    return TRUE;
  }
  if (control) return FALSE;
  switch (key) {
    case GDK_Escape:
      gtk_widget_destroy(reader->window);
      return TRUE;
    case GDK_plus:
    case GDK_equal:
    case GDK_KP_Add:
      zoom(reader, true);
      return TRUE;
    case GDK_minus:
    case GDK_KP_Subtract:
      zoom(reader, false);
      return TRUE;
    default:
      break;
  }
  // Keys on the buttons stay theirs.
  GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(reader->window));
  if (focus != nullptr && GTK_IS_BUTTON(focus) && key != GDK_Page_Up && key != GDK_Page_Down) return FALSE;
  return scrollByKey(reader, key) ? TRUE : FALSE;
}

void onPrintClicked(GtkButton *, Reader *reader) { printShown(reader); }
void onSaveClicked(GtkButton *, Reader *reader) { saveCopy(reader); }
void onZoomInClicked(GtkButton *, Reader *reader) { zoom(reader, true); }
void onZoomOutClicked(GtkButton *, Reader *reader) { zoom(reader, false); }

GtkWidget *toolButton(GtkWidget *bar, const char *name, const char *label, const char *tooltip) {
  GtkWidget *button = gtk_button_new_with_mnemonic(label);
  gtk_widget_set_name(button, name);
  gtk_widget_set_tooltip_text(button, tooltip);
  gtk_box_pack_start(GTK_BOX(bar), button, FALSE, FALSE, 0);
  return button;
}

GtkWidget *buildReaderWindow(Reader *reader) {
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  reader->window = window;
  gtk_widget_set_name(window, kReaderName);
  gtk_window_set_title(GTK_WINDOW(window), ("Opis badania – " + reader->report.name).c_str());
  int screenHeight = gdk_screen_get_height(gdk_screen_get_default());
  gtk_window_set_default_size(GTK_WINDOW(window), 820, std::max(300, std::min(1000, screenHeight - 80)));
  g_object_set_data_full(G_OBJECT(window), "reader", reader, deleteReader);

  GtkWidget *column = gtk_vbox_new(FALSE, 4);
  gtk_container_add(GTK_CONTAINER(window), column);
  GtkWidget *bar = gtk_hbox_new(FALSE, 4);
  gtk_container_set_border_width(GTK_CONTAINER(bar), 4);
  gtk_box_pack_start(GTK_BOX(column), bar, FALSE, FALSE, 0);
  reader->printButton = toolButton(bar, "DrukujOpis", "_Drukuj…", "Drukuje opis (Ctrl+P)");
  GtkWidget *save = toolButton(bar, "ZapiszKopie", "Zapi_sz kopię…",
                               "Zapisuje kopię pliku opisu w wybranym folderze (Ctrl+S)");
  GtkWidget *smaller = toolButton(bar, "Pomniejsz", "Pomniejsz (-)", "Pomniejsza opis (klawisz -)");
  GtkWidget *larger = toolButton(bar, "Powieksz", "Powiększ (+)", "Powiększa opis (klawisz +)");
  reader->pageLabel = gtk_label_new("");
  gtk_widget_set_name(reader->pageLabel, "StronaOpisu");
  gtk_box_pack_start(GTK_BOX(bar), reader->pageLabel, TRUE, TRUE, 0);
  GtkWidget *close = gtk_button_new_with_mnemonic("_Zamknij");
  gtk_widget_set_name(close, "ZamknijCzytnik");
  gtk_box_pack_end(GTK_BOX(bar), close, FALSE, FALSE, 0);

  GtkWidget *content = buildContent(reader);
  gtk_box_pack_start(GTK_BOX(column), content, TRUE, TRUE, 0);
  bool shown = reader->pdf != nullptr || reader->textView != nullptr;
  gtk_widget_set_sensitive(reader->printButton, shown);
  gtk_widget_set_sensitive(smaller, shown);
  gtk_widget_set_sensitive(larger, shown);

  g_signal_connect(reader->printButton, "clicked", G_CALLBACK(onPrintClicked), reader);
  g_signal_connect(save, "clicked", G_CALLBACK(onSaveClicked), reader);
  g_signal_connect(smaller, "clicked", G_CALLBACK(onZoomOutClicked), reader);
  g_signal_connect(larger, "clicked", G_CALLBACK(onZoomInClicked), reader);
  g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), window);
  watchKeysOf(window);
  g_signal_connect(window, "key-press-event", G_CALLBACK(onReaderKey), reader);

  gtk_widget_show_all(window);
  if (reader->pageView) gtk_widget_grab_focus(reader->pageView);
  if (reader->textView) gtk_widget_grab_focus(reader->textView);
  if (!shown) gtk_widget_grab_focus(close);
  return window;
}

}  // namespace

bool reportReaderAvailable() { return true; }

GtkWidget *openReportReader(const ReaderReport &report) {
  for (Reader *open : openReaders)
    if (open->report.file == report.file) {
      gtk_window_present(GTK_WINDOW(open->window));
      return open->window;
    }
  Reader *reader = new Reader;
  reader->report = report;
  openReaders.push_back(reader);
  GtkWidget *window = buildReaderWindow(reader);
  gtk_window_present(GTK_WINDOW(window));
  return window;
}
