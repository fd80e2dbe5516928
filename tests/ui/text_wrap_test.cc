#include "ui/text_wrap.h"

#include <gtest/gtest.h>

#include <sstream>

namespace sk::ui {
namespace {

// One pixel per character (UTF-8 sequences count once).
int Chars(const std::string& text) {
  int n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

int WidestLine(const std::string& text) {
  std::istringstream in(text);
  int widest = 0;
  for (std::string line; std::getline(in, line);) widest = std::max(widest, Chars(line));
  return widest;
}

TEST(WrapTextTest, BreaksAtBlanksAndKeepsTheTextsOwnLines) {
  EXPECT_EQ(WrapText("short", 20, Chars), "short");
  EXPECT_EQ(WrapText("one two three four", 9, Chars), "one two\nthree\nfour");
  EXPECT_EQ(WrapText("first line\n\nthe second line here", 12, Chars),
            "first line\n\nthe second\nline here");
  EXPECT_EQ(WrapText("no width", 0, Chars), "no width");
}

TEST(WrapTextTest, ALongPathBreaksAfterItsSeparatorsAndEveryCharacterStays) {
  std::string path = "'/home/ann";
  while (path.size() < 200) path += "/Unterordner_mit_langem_Namen";
  path += "/Bericht.txt'";
  const std::string text = "Datei " + path + " bereits vorhanden, möchten Sie sie ersetzen ?";
  const std::string wrapped = WrapText(text, 60, Chars);
  EXPECT_LE(WidestLine(wrapped), 60);
  // The breaks fall after separators and at blanks (which go): nothing else is lost.
  auto strip = [](const std::string& s) {
    std::string out;
    for (const char c : s) {
      if (c != '\n' && c != ' ') out += c;
    }
    return out;
  };
  EXPECT_EQ(strip(wrapped), strip(text));
  EXPECT_NE(wrapped.find("/\n"), std::string::npos) << wrapped;
  EXPECT_NE(wrapped.find("Bericht.txt'"), std::string::npos) << wrapped;
}

TEST(WrapTextTest, AWordWithoutSeparatorsBreaksBetweenCharactersNeverInsideOne) {
  const std::string word(30, 'x');
  EXPECT_EQ(WrapText(word, 10, Chars), "xxxxxxxxxx\nxxxxxxxxxx\nxxxxxxxxxx");
  const std::string umlauts = "äääääääääääää";  // 13 characters, 26 bytes
  const std::string wrapped = WrapText(umlauts, 5, Chars);
  EXPECT_EQ(wrapped, "äääää\näääää\näää");
}

}  // namespace
}  // namespace sk::ui
