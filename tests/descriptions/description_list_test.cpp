// The description list file: which pieces of its content become entries, and
// which entry names stay on the medium.
#include "descriptions/description_list.h"

#include <gtest/gtest.h>

namespace {

using Entries = std::vector<std::string>;

struct ListCase {
  const char *what;
  std::string content;
  Entries expected;
};

TEST(DescriptionList, PiecesBetweenDoubleQuotesThatEndInAReportSuffixAreEntries) {
  using namespace std::string_literals;
  const ListCase cases[] = {
      {"array of two names", "var opisy = [\"a.html\", \"b.pdf\"];\n", {"a.html", "b.pdf"}},
      {"empty file", "", {}},
      {"no quote, bare name, no line break", "opis.htm", {"opis.htm"}},
      {"no quote, final line break", "opis.htm\n", {}},
      {"text after the last quote",
       "x = \"a.html\"; // zobacz raport.pdf",
       {"a.html", "; // zobacz raport.pdf"}},
      {"text before the first quote", "c.pdf\"a.html\"", {"c.pdf", "a.html"}},
      {"suffix in another case", "[\"A.HTML\", \"b.Pdf\", \"c.htM\"]", {}},
      {"trailing blank inside quotes", "[\"a.html \", \" b.pdf\"]", {" b.pdf"}},
      {"escaped quote splits", "[\"a\\\".html\"]", {".html"}},
      {"empty pieces", "\"\"\"\"a.pdf\"\"", {"a.pdf"}},
      {"duplicates and order kept", "[\"z.pdf\",\"a.html\",\"z.pdf\"]", {"z.pdf", "a.html", "z.pdf"}},
      {"directory part kept", "[\"opisy/tk glowy.html\"]", {"opisy/tk glowy.html"}},
      {"only the dot-suffixes count", "[\"a.htm\",\"a.html\",\"a.xhtml\",\"apdf\"]", {"a.htm", "a.html"}},
      {"non-ASCII bytes kept as they are", "[\"opis \xC5\x82\xB3.html\"]", {"opis \xC5\x82\xB3.html"}},
      {"content ends at the first NUL", "[\"a.html\", \"b.p\0df\", \"c.pdf\"]"s, {"a.html"}},
      {"NUL right after a name", "a.pdf\0tail"s, {"a.pdf"}},
      {"no other separator", "a.html,b.pdf;c.htm\td.pdf", {"a.html,b.pdf;c.htm\td.pdf"}},
  };
  for (const ListCase &c : cases) EXPECT_EQ(parseDescriptionList(c.content), c.expected) << c.what;
}

TEST(DescriptionList, KindIsTakenFromTheExactFinalBytes) {
  EXPECT_EQ(descriptionKind("a.html"), DescriptionKind::Html);
  EXPECT_EQ(descriptionKind("a.htm"), DescriptionKind::Html);
  EXPECT_EQ(descriptionKind(".pdf"), DescriptionKind::Pdf);
  EXPECT_EQ(descriptionKind("a.pdf.html"), DescriptionKind::Html);
  EXPECT_EQ(descriptionKind("a.PDF"), DescriptionKind::Other);
  EXPECT_EQ(descriptionKind("pdf"), DescriptionKind::Other);
  EXPECT_EQ(descriptionKind(""), DescriptionKind::Other);
}

TEST(DescriptionList, EntriesThatLeadOffTheMediumAreRecognised) {
  const std::pair<const char *, bool> cases[] = {
      {"a.html", true},      {"opisy/tk/a.html", true}, {"opisy\\a.pdf", true},       {"./a.html", true},
      {"..a.html", true},    {"a../b.html", true},      {"opisy/..a/b.html", true},   {"/etc/a.html", false},
      {"\\a.html", false},   {"C:\\a.html", false},     {"d:a.pdf", false},           {"../a.html", false},
      {"..\\a.html", false}, {"a/../../a.html", false}, {"a\\..\\..\\a.html", false}, {"a/..", false},
      {"..", false},
  };
  for (const auto &[entry, stays] : cases) EXPECT_EQ(entryStaysOnMedium(entry), stays) << entry;
}

}  // namespace
