// Byte-limited text that stays valid UTF-8.
#include "base/text.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace {

TEST(Text, ShorteningKeepsSixteenBytesAndWholeCharacters) {
  EXPECT_EQ(shortenTo16Bytes(""), "");
  EXPECT_EQ(shortenTo16Bytes("Kowalski^Jan1234"), "Kowalski^Jan1234");      // 16 bytes: whole
  EXPECT_EQ(shortenTo16Bytes("Kowalski^Jan12345"), "Kowalski^Jan1234...");  // 17 bytes
  // "ś" takes bytes 16 and 17: the cut backs off before it.
  EXPECT_EQ(shortenTo16Bytes("Wiśniewska^Zofś"), "Wiśniewska^Zof...");
  EXPECT_EQ(shortenTo16Bytes("abcdefghijklmnoąą"), "abcdefghijklmno...");
  std::string cut = shortenTo16Bytes("ąąąąąąąąąąąąąąąąąąąą");
  EXPECT_TRUE(g_utf8_validate(cut.c_str(), -1, nullptr));
  EXPECT_EQ(cut, "ąąąąąąąą...");
}

TEST(Text, InvalidSequencesAreReplacedAndTheRestKept) {
  EXPECT_EQ(makeValidUtf8("Łódź"), "Łódź");
  EXPECT_EQ(makeValidUtf8("a\xB3"
                          "b"),
            "a\xEF\xBF\xBD"
            "b");
  std::string fixed = makeValidUtf8("\xff\xfe tail");
  EXPECT_TRUE(g_utf8_validate(fixed.c_str(), -1, nullptr));
  EXPECT_NE(fixed.find(" tail"), std::string::npos);
}

}  // namespace
