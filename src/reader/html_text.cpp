// An HTML report as styled text: libxml2's tree walked into runs.
#include "reader/html_text.h"

#include "base/medium_links.h"
#include "base/text.h"
#include "platform/glib_owners.h"

#include <glib.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_set>

namespace {

// ---- Character sets ----

// The character set a report names for itself in its first bytes, lower
// case, or empty.
std::string declaredCharset(const std::string &bytes) {
  std::string head = bytes.substr(0, 4096);
  std::transform(head.begin(), head.end(), head.begin(), [](char c) { return g_ascii_tolower(c); });
  size_t at = head.find("charset=");
  if (at == std::string::npos) return "";
  at += 8;
  while (at < head.size() && (head[at] == '"' || head[at] == '\'' || head[at] == ' ')) ++at;
  size_t end = at;
  while (end < head.size() && (g_ascii_isalnum(head[end]) || head[end] == '-' || head[end] == '_')) ++end;
  return head.substr(at, end - at);
}

bool convertFrom(const std::string &bytes, const std::string &charset, std::string &utf8) {
  gsize written = 0;
  UniqueString converted(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", charset.c_str(),
                                   nullptr, &written, nullptr));
  if (!converted) return false;
  utf8.assign(converted.get(), written);
  return true;
}

// Windows-1250 leaves five bytes without a character; they become "?" so
// that one stray byte does not make the whole report unreadable.
std::string fromWindows1250(std::string bytes) {
  for (char &c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte == 0x81 || byte == 0x83 || byte == 0x88 || byte == 0x90 || byte == 0x98) c = '?';
  }
  std::string utf8;
  if (convertFrom(bytes, "WINDOWS-1250", utf8)) return utf8;
  // No converter for the set on this system: the ASCII part is still readable.
  for (char &c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return bytes;
}

// ---- Elements ----

const std::unordered_set<std::string_view> &ignoredElements() {
  static const std::unordered_set<std::string_view> names = {
      "head",     "script",   "style",  "title",    "noscript", "template", "iframe", "frame",
      "frameset", "object",   "embed",  "applet",   "audio",    "video",    "canvas", "svg",
      "math",     "map",      "area",   "link",     "meta",     "base",     "input",  "select",
      "option",   "optgroup", "button", "textarea", "datalist"};
  return names;
}

// Elements that stand apart from the text before and after them by a blank line.
const std::unordered_set<std::string_view> &paragraphElements() {
  static const std::unordered_set<std::string_view> names = {
      "p",  "h1", "h2", "h3",    "h4", "h5",     "h6",      "blockquote", "pre",
      "ul", "ol", "dl", "table", "hr", "figure", "address", "fieldset"};
  return names;
}

// Elements that begin and end a line.
const std::unordered_set<std::string_view> &lineElements() {
  static const std::unordered_set<std::string_view> names = {
      "div",    "li",   "dt",    "dd",    "tr",     "section", "article",    "header",
      "footer", "nav",  "aside", "main",  "center", "caption", "figcaption", "form",
      "legend", "body", "html",  "thead", "tbody",  "tfoot",   "details",    "summary"};
  return names;
}

// What makes a table one of the page's layout rather than of data: any of
// these inside a cell.
const std::unordered_set<std::string_view> &layoutContent() {
  static const std::unordered_set<std::string_view> names = {
      "p",  "div", "h1",  "h2",         "h3", "h4",   "h5",      "h6",      "table",  "ul",     "ol",
      "dl", "img", "pre", "blockquote", "hr", "form", "section", "article", "center", "address"};
  return names;
}

// Looked up for every element of a page: no copy of the name.
std::string_view nameOf(const xmlNode *node) {
  return node->name ? reinterpret_cast<const char *>(node->name) : "";
}

std::string attributeOf(xmlNode *node, const char *name) {
  xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(name));
  if (value == nullptr) return "";
  std::string result = reinterpret_cast<const char *>(value);
  xmlFree(value);
  return result;
}

bool isElement(const xmlNode *node, const char *name) {
  return node->type == XML_ELEMENT_NODE && nameOf(node) == name;
}

// The next node of a depth-first walk of `top`'s subtree that does not
// descend into ignored elements; null at the end.
xmlNode *nextInSubtree(xmlNode *node, const xmlNode *top, bool descend) {
  if (descend && node->children != nullptr) return node->children;
  while (node != top) {
    if (node->next != nullptr) return node->next;
    node = node->parent;
    if (node == nullptr) return nullptr;
  }
  return nullptr;
}

bool descendsInto(const xmlNode *node) {
  return node->type == XML_ELEMENT_NODE && ignoredElements().count(nameOf(node)) == 0;
}

// The text of a subtree without structure, without recursion, so any depth
// is safe; at most `limit` bytes. A line break element gives a blank.
std::string subtreeText(xmlNode *top, size_t limit) {
  std::string text;
  for (xmlNode *node = top->children ? top->children : nullptr; node != nullptr && text.size() < limit;) {
    if (node->type == XML_TEXT_NODE && node->content != nullptr)
      text += reinterpret_cast<const char *>(node->content);
    else if (isElement(node, "br") || isElement(node, "td") || isElement(node, "th"))
      text += ' ';
    node = nextInSubtree(node, top, descendsInto(node));
  }
  return text.substr(0, limit);
}

bool isHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string collapsedSpaces(const std::string &text) {
  std::string result;
  bool space = false;
  for (char c : text) {
    if (isHtmlSpace(c)) {
      space = !result.empty();
      continue;
    }
    if (space) result += ' ';
    space = false;
    result += c;
  }
  return result;
}

// Characters, not bytes: the columns line up in a fixed-width font.
size_t characterCount(const std::string &text) {
  return static_cast<size_t>(g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size())));
}

std::string firstCharacters(const std::string &text, size_t count) {
  const char *end = g_utf8_offset_to_pointer(text.c_str(), static_cast<glong>(count));
  return text.substr(0, static_cast<size_t>(end - text.c_str()));
}

// `text` in lines of at most `width` characters, broken at blanks where it can be.
std::vector<std::string> wrappedLines(std::string text, size_t width) {
  std::vector<std::string> lines;
  while (characterCount(text) > width) {
    std::string head = firstCharacters(text, width);
    size_t blank = head.rfind(' ');
    if (blank != std::string::npos && blank > 0) head = head.substr(0, blank);
    lines.push_back(head);
    text = text.substr(head.size());
    if (!text.empty() && text[0] == ' ') text.erase(0, 1);
  }
  lines.push_back(text);
  return lines;
}

struct Style {
  bool bold = false;
  bool italic = false;
  bool monospace = false;
  bool preformatted = false;
  int heading = 0;
  int listLevel = 0;
};

// Collects the runs, with HTML's rules for blanks: runs of blanks are one,
// none at the start of a line, and block elements ask for line breaks that are
// written only when more text follows.
class RunWriter {
 public:
  explicit RunWriter(ReaderDocument &document) : document_(document) {}

  bool full() const { return document_.cut; }

  void requestBreaks(int count) {
    if (!started_) return;
    pendingBreaks_ = std::max(pendingBreaks_, count - trailingBreaks_);
    pendingSpace_ = false;
  }

  void hardBreak() {
    flushBreaks();
    append("\n", Style());
    trailingBreaks_ += 1;
    pendingSpace_ = false;
  }

  void text(const std::string &raw, const Style &style) {
    if (style.preformatted) {
      preformatted(raw, style);
      return;
    }
    std::string piece;
    for (char c : raw) {
      if (isHtmlSpace(c)) {
        pendingSpace_ = pendingSpace_ || started_;
        continue;
      }
      if (pendingBreaks_ > 0 && !piece.empty()) {
        append(piece, style);
        piece.clear();
      }
      flushBreaks();
      if (pendingSpace_ && trailingBreaks_ == 0) {
        // The blank between two pieces of text belongs to the first.
        if (piece.empty())
          appendBlank();
        else
          piece += ' ';
      }
      pendingSpace_ = false;
      piece += c;
      trailingBreaks_ = 0;
      started_ = true;
    }
    if (!piece.empty()) append(piece, style);
  }

  // Text kept as it stands: preformatted blocks and table lines.
  void preformatted(const std::string &raw, const Style &style) {
    if (raw.empty()) return;
    flushBreaks();
    if (pendingSpace_ && trailingBreaks_ == 0) append(" ", style);
    pendingSpace_ = false;
    append(raw, style);
    started_ = true;
    trailingBreaks_ = raw.back() == '\n' ? 1 : 0;
  }

  void picture(const std::string &path, const std::string &alternative) {
    flushBreaks();
    if (pendingSpace_ && trailingBreaks_ == 0) appendBlank();
    if (full()) return;
    ReaderRun run;
    run.kind = ReaderRun::Kind::Picture;
    run.picture = path;
    run.text = alternative;
    document_.runs.push_back(run);
    bytes_ += alternative.size() + 1;
    started_ = true;
    trailingBreaks_ = 0;
    pendingSpace_ = false;
  }

 private:
  void flushBreaks() {
    if (pendingBreaks_ > 0 && started_) {
      int count = pendingBreaks_;
      pendingBreaks_ = 0;
      append(std::string(static_cast<size_t>(count), '\n'), Style());
      trailingBreaks_ += count;
    }
    pendingBreaks_ = 0;
  }

  void appendBlank() {
    if (!document_.runs.empty() && document_.runs.back().kind == ReaderRun::Kind::Text && !full()) {
      document_.runs.back().text += ' ';
      bytes_ += 1;
    }
  }

  void append(const std::string &whole, const Style &style) {
    if (full()) return;
    std::string text = whole;
    if (bytes_ + text.size() > kMostShownTextBytes) {
      document_.cut = true;
      text = cutAtCharacterBoundary(text, kMostShownTextBytes - bytes_);
      if (text.empty()) return;
    }
    bytes_ += text.size();
    if (text.find_first_not_of('\n') != std::string::npos) trailingBreaks_ = 0;
    bool plainBreaks = text.find_first_not_of('\n') == std::string::npos;
    if (!document_.runs.empty()) {
      ReaderRun &last = document_.runs.back();
      bool lastPlain = !last.bold && !last.italic && !last.monospace && last.heading == 0;
      bool sameStyle = last.bold == style.bold && last.italic == style.italic &&
                       last.monospace == style.monospace && last.heading == style.heading;
      // Line breaks between blocks belong to no style.
      if (last.kind == ReaderRun::Kind::Text && (plainBreaks ? lastPlain : sameStyle)) {
        last.text += text;
        return;
      }
    }
    ReaderRun run;
    run.text = text;
    run.bold = style.bold;
    run.italic = style.italic;
    run.monospace = style.monospace;
    run.heading = style.heading;
    document_.runs.push_back(run);
  }

  ReaderDocument &document_;
  size_t bytes_ = 0;
  int pendingBreaks_ = 0;
  int trailingBreaks_ = 0;
  bool pendingSpace_ = false;
  bool started_ = false;
};

class PageWalker {
 public:
  PageWalker(ReaderDocument &document, const PictureResolver &resolve)
      : writer_(document), resolve_(resolve) {}

  void walkChildren(xmlNode *parent, const Style &style, int depth) {
    int ordinal = 0;
    for (xmlNode *child = parent->children; child != nullptr && !writer_.full(); child = child->next)
      walk(child, style, depth + 1, parent, ordinal);
  }

  void walk(xmlNode *node, Style style, int depth, xmlNode *parent, int &ordinal) {
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
      if (node->content) writer_.text(reinterpret_cast<const char *>(node->content), style);
      return;
    }
    if (node->type != XML_ELEMENT_NODE) return;
    std::string_view name = nameOf(node);
    if (ignoredElements().count(name)) return;
    if (depth > kMostStructuredDepth) {
      writer_.text(subtreeText(node, kMostShownTextBytes), style);
      return;
    }
    if (name == "br") {
      writer_.hardBreak();
      return;
    }
    if (name == "img") {
      picture(node);
      return;
    }
    if (name == "hr") {
      writer_.requestBreaks(2);
      writer_.preformatted("――――――――――――――――――――", style);
      writer_.requestBreaks(2);
      return;
    }
    int breaks = paragraphElements().count(name) ? 2 : lineElements().count(name) ? 1 : 0;
    if (name == "ul" || name == "ol") {
      // A list inside a list item continues on the next line, not after a blank one.
      if (style.listLevel > 0) breaks = 1;
      style.listLevel += 1;
    }
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      style.heading = name[1] - '0';
      style.bold = true;
    }
    if (name == "b" || name == "strong" || name == "th") style.bold = true;
    if (name == "i" || name == "em" || name == "cite" || name == "var" || name == "dfn" || name == "address")
      style.italic = true;
    if (name == "code" || name == "tt" || name == "kbd" || name == "samp") style.monospace = true;
    if (name == "pre") style.preformatted = style.monospace = true;

    if (breaks) writer_.requestBreaks(breaks);
    if (name == "li") listMarker(parent, style, ordinal);
    if (name == "table" && !isLayoutTable(node))
      dataTable(node, style);
    else
      walkChildren(node, style, depth);
    if (breaks) writer_.requestBreaks(breaks);
    // The cells of a layout table stand side by side, apart by a blank.
    if (name == "td" || name == "th") writer_.text(" ", style);
  }

 private:
  void listMarker(xmlNode *list, const Style &style, int &ordinal) {
    std::string indent(static_cast<size_t>(std::max(style.listLevel - 1, 0)) * 4, ' ');
    Style plain;
    if (list != nullptr && isElement(list, "ol"))
      writer_.preformatted(indent + std::to_string(++ordinal) + ". ", plain);
    else
      writer_.preformatted(indent + "• ", plain);
  }

  void picture(xmlNode *node) {
    std::string alternative = collapsedSpaces(attributeOf(node, "alt"));
    std::string path = resolve_ ? resolve_(attributeOf(node, "src")) : std::string();
    if (!path.empty()) {
      writer_.picture(path, alternative);
      return;
    }
    Style italic;
    italic.italic = true;
    if (!alternative.empty()) writer_.text("[" + alternative + "]", italic);
  }

  // A table whose cells hold blocks or pictures lays out the page: its cells
  // are shown one after another. The look stops after a bounded number of
  // nodes; a table that large without any block is taken as data.
  static bool isLayoutTable(xmlNode *table) {
    int budget = 20000;
    for (xmlNode *node = table->children; node != nullptr && budget-- > 0;) {
      if (node->type == XML_ELEMENT_NODE && layoutContent().count(nameOf(node))) return true;
      node = nextInSubtree(node, table, descendsInto(node));
    }
    return false;
  }

  // The rows of a data table: its own rows, directly or in its row groups.
  static std::vector<xmlNode *> tableRows(xmlNode *table) {
    std::vector<xmlNode *> rows;
    for (xmlNode *child = table->children; child != nullptr; child = child->next) {
      if (isElement(child, "tr")) rows.push_back(child);
      if (isElement(child, "thead") || isElement(child, "tbody") || isElement(child, "tfoot"))
        for (xmlNode *row = child->children; row != nullptr; row = row->next)
          if (isElement(row, "tr")) rows.push_back(row);
    }
    return rows;
  }

  struct Cell {
    std::string text;
    bool header = false;
  };

  void dataTable(xmlNode *table, const Style &style) {
    for (xmlNode *child = table->children; child != nullptr; child = child->next)
      if (isElement(child, "caption")) {
        writer_.text(collapsedSpaces(subtreeText(child, kMostShownTextBytes)), style);
        writer_.requestBreaks(1);
      }
    std::vector<std::vector<Cell>> rows;
    std::vector<size_t> widths;
    for (xmlNode *row : tableRows(table)) {
      std::vector<Cell> cells;
      for (xmlNode *cell = row->children; cell != nullptr; cell = cell->next) {
        if (!isElement(cell, "td") && !isElement(cell, "th")) continue;
        cells.push_back({collapsedSpaces(subtreeText(cell, kMostShownTextBytes)), isElement(cell, "th")});
        size_t column = cells.size() - 1;
        if (widths.size() <= column) widths.push_back(0);
        widths[column] =
            std::max(widths[column], std::min(characterCount(cells.back().text), kMostColumnCharacters));
      }
      rows.push_back(cells);
      if (writer_.full()) return;
    }
    Style cellStyle = style;
    cellStyle.monospace = true;
    cellStyle.preformatted = false;
    for (const std::vector<Cell> &cells : rows) {
      std::vector<std::vector<std::string>> lines;
      size_t height = 1;
      for (size_t column = 0; column < cells.size(); ++column) {
        lines.push_back(wrappedLines(cells[column].text, std::max<size_t>(widths[column], 1)));
        height = std::max(height, lines.back().size());
      }
      for (size_t line = 0; line < height && !writer_.full(); ++line) {
        writer_.requestBreaks(1);
        // Blanks after the last cell with text are left out.
        size_t lastColumn = 0;
        for (size_t column = 0; column < cells.size(); ++column)
          if (line < lines[column].size() && !lines[column][line].empty()) lastColumn = column + 1;
        for (size_t column = 0; column < lastColumn; ++column) {
          std::string piece = line < lines[column].size() ? lines[column][line] : "";
          if (column + 1 < lastColumn) piece += std::string(widths[column] - characterCount(piece) + 2, ' ');
          Style pieceStyle = cellStyle;
          pieceStyle.bold = cellStyle.bold || cells[column].header;
          writer_.preformatted(piece, pieceStyle);
        }
      }
    }
  }

  RunWriter writer_;
  const PictureResolver &resolve_;
};

struct DocumentRelease {
  void operator()(xmlDoc *document) const { xmlFreeDoc(document); }
};

bool hasScheme(const std::string &source) {
  size_t colon = source.find(':');
  return colon != std::string::npos && source.find('/') > colon;
}

}  // namespace

std::string reportHtmlAsUtf8(const std::string &all) {
  // A report ends at its first NUL, as in the page design.
  const std::string bytes = all.substr(0, all.find('\0'));
  std::string charset = declaredCharset(bytes);
  std::string utf8;
  bool utf8Named = charset == "utf-8" || charset == "utf8";
  if (!charset.empty() && !utf8Named && convertFrom(bytes, charset, utf8)) return utf8;
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return bytes;
  return fromWindows1250(bytes);
}

ReaderDocument readerDocumentFromHtml(const std::string &html, const PictureResolver &resolve) {
  ReaderDocument document;
  xmlInitParser();
  int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                HTML_PARSE_IGNORE_ENC | HTML_PARSE_COMPACT;
  std::unique_ptr<xmlDoc, DocumentRelease> tree(htmlReadMemory(
      html.data(), static_cast<int>(std::min<size_t>(html.size(), INT32_MAX)), nullptr, "UTF-8", options));
  if (!tree) return document;
  xmlNode *root = xmlDocGetRootElement(tree.get());
  if (root == nullptr) return document;
  PageWalker walker(document, resolve);
  int ordinal = 0;
  walker.walk(root, Style(), 0, nullptr, ordinal);
  return document;
}

std::string readerPlainText(const ReaderDocument &document) {
  std::string text;
  for (const ReaderRun &run : document.runs) text += run.text;
  return text;
}

PictureResolver mediumPictureResolver(const std::string &reportPath, const std::string &resolvedRoot) {
  UniqueString folder(g_path_get_dirname(reportPath.c_str()));
  std::string reportFolder = folder.get();
  return [reportFolder, resolvedRoot](const std::string &source) -> std::string {
    std::string path = source.substr(0, source.find_first_of("?#"));
    if (path.empty() || hasScheme(path) || path[0] == '/' || path[0] == '\\') return "";
    UniqueString unescaped(g_uri_unescape_string(path.c_str(), nullptr));
    if (!unescaped) return "";
    path = unescaped.get();
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path[0] == '/' || std::strlen(path.c_str()) != path.size()) return "";
    for (const std::string &base : {reportFolder, resolvedRoot}) {
      UniqueString candidate(g_build_filename(base.c_str(), path.c_str(), nullptr));
      if (g_file_test(candidate.get(), G_FILE_TEST_IS_REGULAR) &&
          resolvesInsideMedium(candidate.get(), resolvedRoot))
        return candidate.get();
    }
    return "";
  };
}
