#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

// 12 lines of at most 20 characters.
const std::string kSmall = Settings({"max_lines=12", "max_char=20"});

// Runs the editor until its input ends, which must end it cleanly.
RunResult Drive(const std::string& input, const std::string& settings = kSmall) {
  auto r = RunEditor({.settings = settings, .input = input});
  ExpectEnded(r);
  return r;
}

// The cursor ("line:position") of every view shown, in order.
std::vector<std::string> Cursors(const RunResult& r) {
  std::vector<std::string> out;
  for (auto at = r.out.find("\nEditing "); at != std::string::npos;
       at = r.out.find("\nEditing ", at + 1)) {
    const auto start = at + 9;
    out.push_back(r.out.substr(start, r.out.find(' ', start) - start));
  }
  return out;
}

std::string Last(const std::string& input, const std::string& settings = kSmall) {
  return Cursors(Drive(input, settings)).back();
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(CursorMoves, StepsStopAtTheGridEdges) {
  EXPECT_EQ(Last("b\n"), "1:1");
  EXPECT_EQ(Last(Repeat("n\n", 25)), "1:21");  // the terminator column of a full slot
  EXPECT_EQ(Last("G\n5\n,\n"), "1:1");
  EXPECT_EQ(Last("g\n12\nG\n5\n.\n"), "12:1");
  EXPECT_THAT(Cursors(Drive("g\n3\nG\n8\n\n.\n,\n,\n")),
              ElementsAre("1:1", "3:1", "3:8", "4:8", "5:1", "4:1", "3:1"));
}

TEST(CursorMoves, EndAndBeginningOfLine) {
  EXPECT_EQ(Last("hello\n,\nG\n3\ne\n"), "1:6");
  EXPECT_EQ(Last("hello\n,\nG\n9\ne\n"), "1:9");
  // A full slot: its terminator sits in the last column.
  EXPECT_EQ(Last("abcdefghijklmnopqrs\n,\nG\n20\n!t\n,\nG\n4\ne\n"), "1:21");
  EXPECT_EQ(Last("G\n9\nl\n"), "1:1");
}

TEST(CursorMoves, PageMovesClampWhateverThePageLength) {
  const std::pair<const char*, const char*> cases[] = {
      {"g\n5\nG\n3\n<\n", "1:3"},    {"g\n10\nG\n3\n>\n", "12:3"}, {"g\n10\n<\n", "2:1"},
      {"g\n5\np\n0\n<\n>\n", "5:1"}, {"g\n5\np\nabc\n>\n", "5:1"}, {"g\n2\np\n-3\n<\n", "5:1"},
      {"g\n11\np\n-3\n<\n", "12:1"}, {"g\n5\np\n-3\n>\n", "2:1"},  {"g\n2\np\n-3\n>\n", "1:1"},
      {"g\n5\np\n50\n>\n", "12:1"},  {"g\n5\np\n50\n<\n", "1:1"},
  };
  for (const auto& [input, cursor] : cases) EXPECT_EQ(Last(input), cursor) << input;
}

TEST(CursorMoves, PageLengthShapesTheWindow) {
  EXPECT_EQ(LastView(Drive("p\n0\n").out), "Editing 1:1 \n\n> ");
  EXPECT_EQ(LastView(Drive("g\n10\np\n-2\n").out), "Editing 10:1 \n\n> ");
  EXPECT_EQ(LastView(Drive("g\n3\np\n1\n").out), "Editing 3:1 \n\n[3] \n  > ");
  EXPECT_EQ(LastView(Drive("g\n11\np\n50\n").out),
            "Editing 11:1 \n\n 1\n 2\n 3\n 4\n 5\n 6\n 7\n 8\n 9\n 10\n[11] \n 12\n   > ");
}

TEST(CursorMoves, NumberAnswers) {
  // Seven digits are read and the rest of the answer thrown away: 1234567 is out of range.
  const auto r = Drive("g\n123456789\n", "");
  EXPECT_THAT(LastView(r.out), StartsWith("Editing 1:1 \n\n[1] \n 2\n"));
  EXPECT_EQ(Last("G\n5\ng\n  +3\n"), "3:5");
  EXPECT_EQ(Last("G\n5\ng\n0\ng\n-1\ng\nx\ng\n13\n"), "1:5");
  EXPECT_EQ(Last("G\n21\n"), "1:21");
  EXPECT_EQ(Last("G\n22\n"), "1:1");
  // The end of input answers with nothing, and then ends the editor.
  EXPECT_THAT(Drive("g\n").out, HasSubstr("Go to which line?\n"));
  EXPECT_EQ(LastView(Drive("p\n").out), "Editing 1:1 \n\n> ");
  EXPECT_EQ(Last("hello\n,\nG\n3\nJ\n"), "1:1");
}

TEST(CursorSearch, InTheLineFromTheCursor) {
  const std::string doc = "hello world\n,\n";
  EXPECT_EQ(Last(doc + "j\no\n"), "1:5");
  EXPECT_EQ(Last(doc + "j\no\nj\no\n"), "1:5");
  EXPECT_EQ(Last(doc + "j\no\nn\nj\no\n"), "1:8");
  EXPECT_EQ(Last(doc + "G\n3\nj\n\n"), "1:3");
  EXPECT_EQ(Last(doc + "G\n15\nj\n\n"), "1:15");
  for (const char* miss : {"G\n2\nj\nhello\n", "j\nO\n", "G\n15\nj\nd\n"}) {
    const auto r = Drive(doc + miss);
    EXPECT_THAT(r.out, HasSubstr("Enter jump string\nString not found in line 1\n")) << miss;
    EXPECT_EQ(Cursors(r).back(), Cursors(r)[Cursors(r).size() - 2]) << miss;
  }
}

TEST(CursorSearch, DownTheDocument) {
  const std::string doc = "xyz abc xyz\n\nfoo xyz\n";
  EXPECT_EQ(Last(doc + "g\n1\nG\n10\nJ\nxyz\n"), "1:1");
  EXPECT_EQ(Last(doc + "g\n2\nJ\nxyz\n"), "3:5");
  EXPECT_EQ(Last(doc + "g\n3\nG\n4\nJ\n\n"), "3:1");
  for (const char* miss : {"g\n4\nJ\nabc\n", "g\n12\nJ\nq\n"}) {
    const auto r = Drive(doc + miss);
    EXPECT_THAT(r.out, HasSubstr("Enter jump string\nString not found\n")) << miss;
    EXPECT_EQ(Cursors(r).back(), Cursors(r)[Cursors(r).size() - 2]) << miss;
  }
}

TEST(CursorSettings, LockAnchorAndNumbers) {
  EXPECT_THAT(
      Drive("L\nL\n").out,
      HasSubstr(
          "Line Lock On\n\nEditing 1:1 \n\n[1] \n 2\n 3\n 4\n 5\n 6\n 7\n 8\n  > Line Lock Off\n"));
  EXPECT_EQ(Last("L\nab\ncd\n"), "1:1");
  EXPECT_EQ(Last("G\n10\nA\nl\n.\na\n"), "2:10");
  EXPECT_EQ(Last("a\n", Settings({"max_char=20", "anchor_position=5"})), "1:5");
  EXPECT_THAT(LastView(Drive("#\n").out), StartsWith("Editing 1:1 \n\n>\n\n"));
  EXPECT_EQ(LastView(Drive("#\n#\n").out), LastView(Drive("").out));
}

}  // namespace
}  // namespace ostrel::e2e
