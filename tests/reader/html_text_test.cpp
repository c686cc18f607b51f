// The reader's text of HTML reports: what a user sees of each element, the
// character sets of the disc's reports, and pages made to hurt.
#include "reader/html_text.h"

#include "base/medium_links.h"
#include "support/scoped_medium.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The runs with their style marked: *bold*, _italic_, `fixed`, =N heading=,
// [picture|alternative].
std::string marked(const ReaderDocument &document) {
  std::string text;
  for (const ReaderRun &run : document.runs) {
    if (run.kind == ReaderRun::Kind::Picture) {
      text += "[" + run.picture + "|" + run.text + "]";
      continue;
    }
    std::string piece = run.text;
    if (run.monospace) piece = "`" + piece + "`";
    if (run.italic) piece = "_" + piece + "_";
    if (run.bold && run.heading == 0) piece = "*" + piece + "*";
    if (run.heading) piece = "=" + std::to_string(run.heading) + piece + "=";
    text += piece;
  }
  return text;
}

ReaderDocument fromHtml(const std::string &html) {
  return readerDocumentFromHtml(html, [](const std::string &source) {
    return source.compare(0, 7, "medium/") == 0 ? "/" + source : std::string();
  });
}

TEST(HtmlTextTest, EachElementShowsAsAReaderSeesIt) {
  struct Case {
    const char *html;
    const char *shown;
  } cases[] = {
      {"<h2>Opis</h2><p>Tekst  \n  <b>mocny</b> i <i>ważny</i>.</p><p>Dalej</p>",
       "=2Opis=\n\nTekst *mocny *i _ważny_.\n\nDalej"},
      {"<p>a<br>b<br><br>c</p>", "a\nb\n\nc"},
      {"<ul><li>jeden<li>dwa<ul><li>trzy</ul></ul><ol><li>x<li>y</ol>",
       "• jeden\n• dwa\n    • trzy\n\n1. x\n2. y"},
      {"<table><tr><th>Pacjent:</th><td>Zofia Wiśniewska</td></tr><tr><td>PESEL:</td><td>1</td></tr></table>",
       "*`Pacjent:  `*`Zofia Wiśniewska`\n`PESEL:    1`"},
      {"<p>Przed</p><table><tr><td><p>w komórce</p></td><td>obok</td></tr></table>",
       "Przed\n\nw komórce\n\nobok"},
      {"<p>x<script>alert(1)</script><style>p{}</style><form>pole <input value=v><select><option>o</select>"
       "</form>y</p>",
       "x\n\npole\ny"},
      {"<p><a href=\"http://example.com/\">strona</a> <img src=\"medium/a.jpg\" alt=\"TK\">"
       "<img src=\"http://x/y.jpg\" alt=\"obcy\"></p>",
       "strona [/medium/a.jpg|TK]_[obcy]_"},
      {"<pre>  a\n   b</pre><hr><p><code>kod</code></p>", "`  a\n   b`\n\n――――――――――――――――――――\n\n`kod`"},
  };
  for (const Case &c : cases) EXPECT_EQ(marked(fromHtml(c.html)), c.shown) << c.html;
}

TEST(HtmlTextTest, CharacterSetsOfTheDiscsReports) {
  struct Case {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"<p>\xbf\xf3\xb3\x9c\xe6</p>", "<p>żółść</p>"},             // the design's Windows-1250
      {"<p>\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87</p>", "<p>żółć</p>"},  // a UTF-8 page
      {"<meta charset=\"iso-8859-2\"><p>\xbf</p>",
       "<meta charset=\"iso-8859-2\"><p>ż</p>"},  // named by the page
      {"<p>\x81\x98</p>", "<p>?\?</p>"},          // bytes Windows-1250 leaves without a character
  };
  for (const Case &c : cases) EXPECT_EQ(reportHtmlAsUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(HtmlTextTest, HostilePagesGiveABoundedText) {
  // The parser stops at its depth limit: the text before the nesting is shown.
  std::string nestedTables = "przed";
  for (int i = 0; i < 10000; ++i) nestedTables += "<table><tr><td>";
  nestedTables += "środek";
  std::string deepBold = "przed" + std::string(100000 * 3, ' ');
  for (size_t i = 5; i < deepBold.size(); i += 3) deepBold.replace(i, 3, "<b>");
  deepBold += "głęboko";
  std::string huge = "<p>" + std::string(3 * 1024 * 1024, 'x') + "</p>";
  std::string wideTable = "<table><tr>";
  for (int i = 0; i < 5000; ++i) wideTable += "<td>" + std::string(100, 'k') + "</td>";

  struct Case {
    std::string html;
    std::string contains;
    bool cut;
  } cases[] = {
      {nestedTables, "przed", false},
      {deepBold, "przed", false},
      {huge, "xxxx", true},
      {wideTable, std::string(40, 'k'), false},
      {std::string("<p>a\0b</p>", 10), "a", false},
  };
  for (const Case &c : cases) {
    ReaderDocument document = fromHtml(c.html);
    std::string text = readerPlainText(document);
    EXPECT_NE(text.find(c.contains), std::string::npos) << c.html.substr(0, 40);
    EXPECT_LE(text.size(), kMostShownTextBytes + document.runs.size());
    EXPECT_EQ(document.cut, c.cut) << c.html.substr(0, 40);
  }
}

TEST(HtmlTextTest, PicturesComeOnlyFromTheMedium) {
  testsupport::ScopedMedium outside;
  outside.writePicture("cudzy.jpg", 4, 4);
  testsupport::ScopedMedium medium;  // the current directory from here on
  medium.writePicture("img/head_.jpg", 4, 4);
  medium.writePicture("images/tk.jpg", 4, 4);
  medium.writeFile("opisy/opis.html", "");
  PictureResolver resolve = mediumPictureResolver(medium.path("opisy/opis.html"), resolvedMediumRoot());
  struct Case {
    std::string source;
    std::string file;
  } cases[] = {
      {"../images/tk.jpg", medium.path("opisy/../images/tk.jpg")},
      {"img/head_.jpg", resolvedMediumRoot() + "/img/head_.jpg"},
      {"..\\images\\tk.jpg?x=1", medium.path("opisy/../images/tk.jpg")},
      {"../../" + outside.root().substr(outside.root().rfind('/') + 1) + "/cudzy.jpg", ""},
      {outside.path("cudzy.jpg"), ""},
      {"file://" + medium.path("images/tk.jpg"), ""},
      {"http://example.com/a.jpg", ""},
      {"data:image/png;base64,AAAA", ""},
      {"brak.jpg", ""},
      {"../images", ""},
  };
  for (const Case &c : cases) EXPECT_EQ(resolve(c.source), c.file) << c.source;
}

}  // namespace
