#include "files/save.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/memory_console.h"
#include "support/state_fixture.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::MakeState;
using testing::MemoryConsole;
using ::testing::Not;
using ::testing::StartsWith;

class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "ostrel-save-XXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) dir_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Make(const std::string& name, const std::string& content = "old") const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Read(const std::string& name) const {
    std::ifstream f(Path(name), std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }

 private:
  std::string dir_;
};

std::array<char, kFileNameSize> Name(const std::string& text) {
  std::array<char, kFileNameSize> name{};
  text.copy(name.data(), kFileNameSize - 1);
  return name;
}

TEST(AssembleDocument, WritesThroughTheLastNonEmptyLine) {
  auto s = MakeState(16, 6, {"abc", "", "def"});
  EXPECT_EQ(DocLength(s.buffer), 2);
  EXPECT_EQ(AssembleDocument(s.buffer), "abc\n\ndef\n");

  s = MakeState(16, 6);
  EXPECT_EQ(DocLength(s.buffer), 0);
  EXPECT_EQ(AssembleDocument(s.buffer), "\n");

  // Blanks are text, and a full last line is written whole.
  s = MakeState(4, 6, {"", "", "", "", "  ", "xyz"});
  EXPECT_EQ(AssembleDocument(s.buffer), "\n\n\n\n  \nxyz\n");
}

TEST(Save, AsksForANameUntilOneIsGiven) {
  TempDir dir;
  auto s = MakeState(16, 4, {"abc"});
  MemoryConsole mc("\n\n" + dir.Path("doc") + "\n");
  auto name = Name("");
  EXPECT_TRUE(Save(name.data(), s.buffer, mc.con()));
  EXPECT_EQ(std::string(name.data()), dir.Path("doc"));
  const std::string ask = "Enter a filename to save to\n";
  EXPECT_EQ(mc.Output(), ask + ask + ask + "Saved to " + dir.Path("doc") + "\n");
  EXPECT_EQ(dir.Read("doc"), "abc\n");
}

TEST(Save, EndOfInputAtTheNamePromptGivesUp) {
  auto s = MakeState(16, 4, {"abc"});
  MemoryConsole mc("\n");
  auto name = Name("");
  EXPECT_FALSE(Save(name.data(), s.buffer, mc.con()));
  EXPECT_EQ(mc.Output(),
            "Enter a filename to save to\nEnter a filename to save to\n"
            "Not saved: no file name was given\n");
}

TEST(Save, ReportsFailureInsteadOfSuccess) {
  TempDir dir;
  auto s = MakeState(16, 4, {"abc"});
  for (const std::string& target :
       {std::string("/dev/full"), dir.Path("missing/doc"), dir.Path("")}) {
    MemoryConsole mc;
    auto name = Name(target);
    EXPECT_FALSE(Save(name.data(), s.buffer, mc.con())) << target;
    EXPECT_THAT(mc.Output(), StartsWith("Cannot save to " + target + ": ")) << target;
    EXPECT_THAT(mc.Output(), Not(HasSubstr("Saved to")));
    EXPECT_EQ(std::string(name.data()), target) << "the name that failed stays";
  }
}

TEST(DefineSaveName, FreeNameXAndOverwrite) {
  TempDir dir;
  dir.Make("taken");
  auto name = Name("before");

  MemoryConsole cancel("x\n");
  EXPECT_EQ(DefineSaveName(name.data(), cancel.con()), 0);
  EXPECT_EQ(std::string(name.data()), "before");

  MemoryConsole free_name(dir.Path("free") + "\n");
  EXPECT_EQ(DefineSaveName(name.data(), free_name.con()), 1);
  EXPECT_EQ(std::string(name.data()), dir.Path("free"));
  EXPECT_EQ(free_name.Output(), "Enter a filename to save to, or 'x' to return\n");

  MemoryConsole overwrite(dir.Path("taken") + "\no\n");
  EXPECT_EQ(DefineSaveName(name.data(), overwrite.con()), 1);
  EXPECT_EQ(std::string(name.data()), dir.Path("taken"));
  EXPECT_EQ(overwrite.Output(),
            "Enter a filename to save to, or 'x' to return\nThe file already exists.\n"
            "Enter a new filename or 'o' to overwrite\n");
}

TEST(DefineSaveName, LoopsUntilAFreeName) {
  TempDir dir;
  dir.Make("a");
  dir.Make("b");
  dir.Make("o");
  auto name = Name("");
  // After the first question 'o' is an ordinary name, and an existing one.
  MemoryConsole mc(dir.Path("a") + "\n" + dir.Path("b") + "\n" + dir.Path("o") + "\n" +
                   dir.Path("c") + "\n");
  EXPECT_EQ(DefineSaveName(name.data(), mc.con()), 1);
  EXPECT_EQ(std::string(name.data()), dir.Path("c"));
  EXPECT_EQ(mc.Output(),
            "Enter a filename to save to, or 'x' to return\nThe file already exists.\n"
            "Enter a new filename or 'o' to overwrite\nFile exists. Try again\n"
            "File exists. Try again\n");
}

TEST(DefineSaveName, EndOfInputGivesUpAndKeepsTheName) {
  TempDir dir;
  dir.Make("a");
  for (const std::string& input :
       {std::string(), dir.Path("a") + "\n", dir.Path("a") + "\n" + dir.Path("a") + "\n"}) {
    auto name = Name("before");
    MemoryConsole mc(input);
    EXPECT_EQ(DefineSaveName(name.data(), mc.con()), 0);
    EXPECT_EQ(std::string(name.data()), "before");
    EXPECT_THAT(mc.Output(), HasSubstr("Not saved: no file name was given\n"));
  }
}

TEST(DefineSaveName, EmptyAnswerIsAFreeName) {
  auto name = Name("before");
  MemoryConsole mc("\n");
  EXPECT_EQ(DefineSaveName(name.data(), mc.con()), 1);
  EXPECT_EQ(std::string(name.data()), "");
}

}  // namespace
}  // namespace ostrel
