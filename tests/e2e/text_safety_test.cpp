// Situations where text could be lost or a failure misreported, through the real editor: a line
// opened on a full grid, undo after a load, files that exist but may not be read, a grid too
// narrow to read commands, and the share shown by the partial-load warning.
#include "e2e/checks.h"

namespace ostrel::e2e {
namespace {

struct Row {
  const char* name;
  Strings settings;
  Strings args;
  std::string input;  // "q\nq\n" follows
  Files files;
  Strings out;              // each printed somewhere, in this order
  Files expected;           // files after the run
  bool write_only = false;  // the file "secret" has mode 0200; the editor runs as an ordinary user
  Files links = {};         // symbolic links made before the run
};

const std::string kExists = "The file already exists.\nEnter a new filename or 'o' to overwrite\n";
const std::string kNameQuestion = "Enter a filename to save to\n";
const std::string kTooLong = "File name is longer than 255 characters\n";
const std::string kLong(258, 'n');
const std::string kFull(255, 'x');

const std::vector<Row> kRows = {
    // An entry records an undo; the refused line opening must neither change the text nor
    // replace that record, so the undo brings back line 1.
    {"a line cannot be opened while the last line holds text", Strings{"max_lines=3"},
     Strings{"doc"}, "X\nw\nz\nS\n", Files{{"doc", "a\nb\nc\n"}},
     Strings{"  > Cannot open a line: the last line holds text\n\nEditing 2:1 doc\n"},
     Files{{"doc", "a\nb\nc\n"}}},
    {"undo right after a load changes nothing", Strings{}, Strings{"one"}, "X\nO\ntwo\nz\nS\n",
     Files{{"one", "a\nb\n"}, {"two", "c\nd\n"}}, Strings{"Opened two\n"},
     Files{{"two", "c\nd\n"}}},
    {"an open that finds nothing keeps the undo", Strings{}, Strings{"one"}, "X\nO\nnew\nz\nS\n",
     Files{{"one", "a\nb\n"}}, Strings{"File new not found!\n"}, Files{{"new", "a\nb\n"}}},
    {"a file that may not be read is no missing file", Strings{}, Strings{},
     "text\nO\nsecret\nO\nsecret/x\ns\nsecret\nkept\n", Files{{"secret", "hidden\n"}},
     Strings{"Cannot load secret: Permission denied\n\nEditing 2:1 \n",
             "File secret/x not found!\n",
             "Enter a filename to save to, or 'x' to return\n" + kExists, "Saved to kept\n"},
     Files{{"secret", "hidden\n"}, {"kept", "text\n"}}, true},
    {"max_char=1 is refused", Strings{"max_char=1"}, Strings{"doc"}, "hello\nS\n", Files{},
     Strings{"Saved to doc\n"}, Files{{"doc", "hello\n"}}},
    {"a split piece without a slot: the share in front of it", Strings{"max_lines=2", "max_char=3"},
     Strings{"f"}, "Y\n", Files{{"f", "abcdefg"}},
     Strings{"Only 85.7 percent of the data was loaded!\n"}, Files{}},
    {"a split piece and its newline without a slot", Strings{"max_lines=3", "max_char=3"},
     Strings{"f"}, "Y\n", Files{{"f", "abcdefghij\n"}},
     Strings{"Only 81.8 percent of the data was loaded!\n"}, Files{}},
    {"a share that would show 100.0 while text is dropped shows 99.9",
     Strings{"max_lines=1", "max_char=5000"}, Strings{"f"}, "Y\n",
     Files{{"f", std::string(4998, 'a') + "\nbc"}},
     Strings{"Only 99.9 percent of the data was loaded!\n"}, Files{}},
    {"a number answer is read whole: 12345678 goes nowhere, 1234567 takes its newline", Strings{},
     Strings{"doc"}, "g\n12345678\ng\n1234567\nS\n", Files{{"doc", "abc\n"}},
     Strings{"Go to which line?\n\nEditing 1:1 doc\n", "Go to which line?\n\nEditing 1:1 doc\n"},
     Files{{"doc", "abc\n"}}},
    {"a later piece of a long line is text; a newline that follows a full piece is no line",
     Strings{}, Strings{"doc"}, kFull + "D\n" + kFull + "\ny\nS\n", Files{{"doc", "abc\ndef\n"}},
     Strings{"Saved to doc\n"}, Files{{"doc", kFull + "\nDef\n" + kFull + "\ny\n"}}},
    {"an over-long file name is refused whole at the open and the save-as questions", Strings{},
     Strings{"doc"}, "O\n" + kLong + "\ns\n" + kLong + "\nX\nS\n", Files{{"doc", "abc\n"}},
     Strings{kTooLong + "\nEditing 1:1 doc\n",
             "or 'x' to return\n" + kTooLong + "\nEditing 1:1 doc\n", "Saved to doc\n"},
     Files{{"doc", "Xbc\n"}}},
    {"save-as guards a name given after an empty answer", Strings{}, Strings{},
     "text\ns\n\nkeep\n\nkeep\no\n", Files{{"keep", "old\n"}},
     Strings{"or 'x' to return\n" + kNameQuestion + kExists + kNameQuestion + kExists +
             "Saved to keep\n"},
     Files{{"keep", "text\n"}}},
    {.name = "save-as onto a link to nothing asks before it writes through the link",
     .input = "text\ns\nlink\no\n",
     .out = {"or 'x' to return\n" + kExists + "Saved to link\n"},
     .expected = {{"nowhere", "text\n"}},
     .links = {{"link", "nowhere"}}},
    {"save-as after an empty answer: the try-again loop takes 'o' as a name", Strings{}, Strings{},
     "text\ns\n\nkeep\nkeep\no\n", Files{{"keep", "old\n"}},
     Strings{kNameQuestion + kExists + "File exists. Try again\nSaved to o\n"},
     Files{{"keep", "old\n"}, {"o", "text\n"}}},
    {"T changes nothing when the rest does not fit; the undo still takes back the entry",
     Strings{"max_char=7"}, Strings{"doc"}, "X\n,\nG\n6\nT\nz\nS\n",
     Files{{"doc", "hello w\nnextnex\n"}},
     Strings{"Cannot split: the next line has no room for the rest\n\nEditing 1:6 doc\n"},
     Files{{"doc", "hello w\nnextnex\n"}}},
};

TEST(TextSafety, NoTextIsLostOrMisreported) {
  // Each row runs in a directory of its own; the rows go side by side.
  InParallel(kRows.size(), 4, [&](std::size_t i) {
    const Row& row = kRows[i];
    SCOPED_TRACE(row.name);
    Sandbox box;
    for (const auto& [name, content] : row.files) box.Write(name, content);
    for (const auto& [name, target] : row.links) symlink(target.c_str(), box.Path(name).c_str());
    RunPlan plan{
        .settings = Settings(row.settings), .args = row.args, .input = row.input + "q\nq\n"};
    if (row.write_only) {
      if (const auto cannot = CannotRunAsOrdinaryUser()) {
        std::cout << "[ skipped  ] " << row.name << ": " << *cannot << "\n";
        return;
      }
      ASSERT_EQ(chmod((box.dir() + "/secret").c_str(), 0200), 0);
      if (geteuid() == 0) {
        ASSERT_EQ(chown(box.dir().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(chown((box.dir() + "/secret").c_str(), kNobody, kNobody), 0);
      }
      plan.as_ordinary_user = true;
    }
    const auto r = box.Run(plan);
    // The test owns the file: its mode back, its bytes can be compared.
    if (row.write_only) chmod((box.dir() + "/secret").c_str(), 0600);
    ExpectEnded(r);
    std::size_t at = 0;
    for (const std::string& part : row.out) {
      const auto found = r.out.find(part, at);
      if (found == std::string::npos) {
        ADD_FAILURE() << "missing: " << part << "\n---\n" << r.out;
        break;
      }
      at = found + part.size();
    }
    for (const auto& [name, content] : row.expected) EXPECT_EQ(r.File(name), content) << name;
  });
}

}  // namespace
}  // namespace ostrel::e2e
