// An HTML report as styled text for the navigator's own reader: libxml2's
// HTML parser builds the tree, and a walk of it gives runs of text with their
// style, and pictures from the medium. No widgets here; nothing is fetched
// from the network, scripts, styles and forms are left out.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// One piece of the shown text. Text runs carry their own line breaks.
struct ReaderRun {
  enum class Kind { Text, Picture };
  Kind kind = Kind::Text;
  // The text, UTF-8; for a picture its alternative text.
  std::string text;
  // A picture's file, as the resolver gave it.
  std::string picture;
  bool bold = false;
  bool italic = false;
  // Tables are laid out in columns of a fixed-width font.
  bool monospace = false;
  // 1 to 6 for headings, 0 for body text.
  int heading = 0;
};

struct ReaderDocument {
  std::vector<ReaderRun> runs;
  // The page held more text than is shown; the rest was left out.
  bool cut = false;
};

// The file of a picture the page names by `source`, or empty when it is not
// to be shown (off the medium, on the network, missing).
using PictureResolver = std::function<std::string(const std::string &source)>;

// The shown text stops after this many bytes, so a huge page stays quick to
// show; the document is then marked as cut.
constexpr size_t kMostShownTextBytes = 2 * 1024 * 1024;

// Walks below this depth give their text without structure: a page of
// thousands of nested tables is shown as text, not as nested columns.
constexpr int kMostStructuredDepth = 200;

// A table column is at most this many characters wide; longer cells wrap.
constexpr size_t kMostColumnCharacters = 40;

// The report's bytes up to its first NUL in UTF-8. A report that names its own character set is
// read in that set; otherwise bytes that are valid UTF-8 are taken as UTF-8,
// and anything else as Windows-1250, the set the page design declares.
std::string reportHtmlAsUtf8(const std::string &bytes);

// The styled text of the UTF-8 page `html`; any character-set declaration
// inside it is ignored. Pictures are asked of `resolve`.
ReaderDocument readerDocumentFromHtml(const std::string &html, const PictureResolver &resolve);

// The document's text as a screen reader or a search would take it:
// every run's text, pictures by their alternative text.
std::string readerPlainText(const ReaderDocument &document);

// Resolves picture sources of a report at `reportPath` (a file on the medium
// whose links-resolved root is `resolvedRoot`): a relative path, taken from
// the report's folder and, when nothing is there, from the medium root (where
// the page design's "img" folder is). Addresses with a scheme, absolute paths
// and anything that leads off the medium are refused.
PictureResolver mediumPictureResolver(const std::string &reportPath, const std::string &resolvedRoot);
