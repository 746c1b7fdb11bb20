// A UTF-8 character is never cut: every command on a line that mixes ASCII, two-, three- and
// four-byte characters and a byte that is not UTF-8, through pipes, with the saved bytes
// checked; the same commands on ASCII text of the same byte length behave as bytes.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

const std::string kE2 = "\xC3\xA9";          // two bytes
const std::string kE3 = "\xE2\x82\xAC";      // three bytes
const std::string kE4 = "\xF0\x9F\x98\x80";  // four bytes
const std::string kBad = "\xFF";             // not UTF-8: a character of its own
const std::string kTail = "\xA9";            // a continuation byte: inside kE2 only
// Bytes: a 0, kE2 1-2, kE3 3-5, kE4 6-9, kBad 10, z 11.
const std::string kLine = "a" + kE2 + kE3 + kE4 + kBad + "z";
// The same bytes with every byte from 0x80 up made '#': one character per byte.
std::string Ascii(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '#';
  }
  return out;
}
const std::string kAsciiLine = Ascii(kLine);  // a##########z

struct Row {
  const char* name;
  std::string keys;                // typed before the save
  std::string saved;               // doc.txt afterwards
  std::string ascii;               // doc.txt afterwards, on the text made ASCII
  std::string doc = kLine + "\n";  // doc.txt before
  Strings options = {};            // before the file name
  std::string shown = "";          // in the output, when not empty
  std::string ascii_shown = "";
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      // The cursor: steps over whole characters, columns set to a character's first byte.
      {"n", "n\nn\nn\nX\n", "a" + kE2 + kE3 + "X" + kBad + "z\n", "a##X#######z\n"},
      {"b", "e\nb\nb\nX\n", "a" + kE2 + kE3 + kE4 + "Xz\n", "a#########Xz\n"},
      {"G inside a character", "G\n3\nX\n", "aX" + kE3 + kE4 + kBad + "z\n", "a#X########z\n",
       kLine + "\n", Strings{}, "Editing 1:2 doc.txt", "Editing 1:3 doc.txt"},
      {"G, then b", "G\n8\nb\nX\n", "a" + kE2 + "X" + kE4 + kBad + "z\n", "a#####X####z\n"},
      {"l", "G\n5\nl\nX\n", "X" + kE2 + kE3 + kE4 + kBad + "z\n", "X##########z\n"},
      {"e", "G\n5\ne\nX\n", kLine + "X\n", "a##########zX\n"},
      // The byte column is kept across lines; on each line it acts at its character's start.
      {"the byte column is kept", "G\n5\n\nX\nY\n",
       "abcdefgh\na" + kE2 + "X" + kE4 + kBad + "z\n    Y\n", "abcdefgh\na###X######z\n    Y\n",
       "abcdefgh\n" + kLine + "\n"},
      {"a", "G\n5\nA\n\nG\n1\na\nX\n", "abcdefgh\na" + kE2 + "X" + kE4 + kBad + "z\n",
       "abcdefgh\na###X######z\n", "abcdefgh\n" + kLine + "\n"},
      {"+LINE,COL", "X\n", "a" + kE2 + "X" + kE4 + kBad + "z\n", "a####X#####z\n", kLine + "\n",
       Strings{"+1,6"}},
      // Search: a match that begins inside a character is no match.
      {"j skips", "j\n" + kTail + "\nX\n", "X" + kE2 + kE3 + kE4 + kBad + "z\n", "aX#########z\n"},
      {"j finds", "j\n" + kE4 + "\nX\n", "a" + kE2 + kE3 + "X" + kBad + "z\n", "aX#########z\n"},
      {"J skips", "J\n" + kTail + "\nX\n", kLine + "\nX\n", "aX#########z\n#\n",
       kLine + "\n" + kTail + "\n"},
      // Counts are characters; an overwrite that ends inside a character takes all of it.
      {"c, then v", "n\nc\n2\nl\nv\n", kE2 + kE3 + kE4 + kBad + "z\n", "###########z\n"},
      {"c shortened", "n\nc\n99\n", kLine + "\n", kAsciiLine + "\n", kLine + "\n", Strings{},
       "Copy size will be shortened to 5\n", "Copy size will be shortened to 11\n"},
      {"x, then V", "n\nx\n2\ne\nV\n", "a" + kE4 + kBad + "z" + kE2 + kE3 + "\n", "a########z##\n"},
      {"x beyond the slot", "n\nx\n99\n", kLine + "\n", kAsciiLine + "\n", kLine + "\n", Strings{},
       "Maximum cut size is 10\n", "Maximum cut size is 16\n"},
      {"x shortened", "n\nx\n9\n", "a\n", "a#z\n", kLine + "\n", Strings{},
       "Cut size will be shortened to 5\n"},
      // Writing drops from the first character that does not fit whole.
      {"v drops", "G\n7\nc\n1\ne\nn\nv\n", kLine + "\n", "a##########z #\n"},
      {"V shortened", "n\nc\n2\nl\nV\n", kE2 + kLine + "\n", "##a##########z\n"},
      {"i shortened", "G\n2\ni\n" + kE3 + kE3 + "\n", "a" + kE3 + kE2 + kE3 + kE4 + kBad + "z\n",
       "a##############z\n"},
      {"typed text over a character", "n\nu\n", "au" + kE3 + kE4 + kBad + "z\n", "au#########z\n"},
      {"typed text shortened", "e\n" + kE3 + kE3 + "\n", kLine + kE3 + "\n", "a##########z####\n"},
      {"t", "G\n6\nt\n", "a" + kE2 + "\n", "a####\n"},
      // An edit at a byte column inside a character leaves the cursor on that character.
      {"x at a kept byte column", "G\n5\n\nx\n1\nX\n", "abcdefgh\na" + kE2 + "Xcd\n",
       "abcdefgh\na###Xbcd\n", "abcdefgh\na" + kE2 + kE3 + "bcd\n"},
      {"T", "G\n6\nT\n", "a" + kE2 + "\n" + kE3 + kE4 + kBad + "znext\n", "a####\n######znext\n",
       kLine + "\nnext\n"},
      // Loading and input cut by their byte limits cut before a character.
      {"loading splits", "", std::string(15, 'a') + "\n" + kE2 + " tail\n",
       std::string(15, 'a') + "#\n# tail\n", std::string(15, 'a') + kE2 + " tail\n"},
      {"a command line", ".\n" + std::string(15, 'g') + kE3 + "\n",
       kLine + "\n" + std::string(15, 'g') + "\n" + kE3 + "\n",
       kAsciiLine + "\n" + std::string(15, 'g') + "#\n##\n"},
      {"an answer", ".\ni\n" + std::string(15, 'g') + kE3 + "\n",
       kLine + "\n" + std::string(15, 'g') + "\n",
       kAsciiLine + "\n" + std::string(15, 'g') + "#\n"},
  };
  return rows;
}

struct Outcome {
  std::string out;
  std::string saved;
};

Outcome RunRow(const Row& row, const std::string& doc, const std::string& keys) {
  Sandbox box;
  Strings args = row.options;
  args.push_back("doc.txt");
  const auto r = box.Run({.settings = Settings({"max_lines=5", "max_char=16"}),
                          .args = args,
                          .input = keys + "S\nq\nq\n",
                          .files = {{"doc.txt", doc}}});
  ExpectEnded(r);
  // Through pipes nothing tells of dropped characters.
  EXPECT_THAT(r.out, Not(HasSubstr("did not fit")));
  return {r.out, r.File("doc.txt").value_or("(not saved)")};
}

// Calls check(row) for every row; the runs, each in a directory of its own, go side by side.
void ForEachRow(const std::function<void(const Row&)>& check) {
  InParallel(Rows().size(), 4, [&](std::size_t i) {
    SCOPED_TRACE(Rows()[i].name);
    check(Rows()[i]);
  });
}

TEST(Characters, NoCommandCutsACharacter) {
  ForEachRow([](const Row& row) {
    const Outcome r = RunRow(row, row.doc, row.keys);
    EXPECT_EQ(r.saved, row.saved);
    if (!row.shown.empty()) {
      EXPECT_THAT(r.out, HasSubstr(row.shown));
    }
  });
}

TEST(Characters, AsciiTextBehavesAsBytes) {
  ForEachRow([](const Row& row) {
    const Outcome r = RunRow(row, Ascii(row.doc), Ascii(row.keys));
    EXPECT_EQ(r.saved, row.ascii);
    if (!row.ascii_shown.empty()) {
      EXPECT_THAT(r.out, HasSubstr(row.ascii_shown));
    }
    // No count says characters where there are only bytes.
    if (!row.shown.empty() && row.shown != row.ascii_shown) {
      EXPECT_THAT(r.out, Not(HasSubstr(row.shown)));
    }
  });
}

// Well-formed UTF-8 as Unicode defines it, decoded here on its own.
bool ValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    unsigned min = 0;
    unsigned code = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      n = 2, min = 0x80, code = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      n = 3, min = 0x800, code = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      n = 4, min = 0x10000, code = b & 0x07;
    } else {
      return false;
    }
    if (i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      code = (code << 6) | (c & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

TEST(Characters, ValidUtf8StaysValidThroughEveryCommand) {
  ASSERT_FALSE(ValidUtf8(kLine));
  ASSERT_FALSE(ValidUtf8("\xC0\xAF"));          // overlong
  ASSERT_FALSE(ValidUtf8("\xED\xA0\x80"));      // a surrogate
  ASSERT_FALSE(ValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  ForEachRow([](const Row& row) {
    // The byte that is not UTF-8 becomes one that is, at the same place.
    std::string doc = row.doc;
    for (std::size_t at = doc.find(kBad); at != std::string::npos; at = doc.find(kBad, at)) {
      doc[at] = '~';
    }
    if (ValidUtf8(doc)) {
      EXPECT_TRUE(ValidUtf8(RunRow(row, doc, row.keys).saved));
    }
  });
}

}  // namespace
}  // namespace ostrel::e2e
