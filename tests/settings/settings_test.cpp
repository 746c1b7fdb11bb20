#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string>

#include "common/name.h"
#include "editor/commands.h"

namespace ostrel {
namespace {

// The settings in memory, at their start values, and the reader applied to some text.
struct Loaded : Settings {
  KeyNameTable names{};

  explicit Loaded(const std::string& text) {
    MakeKeys(names);
    SetDefaultValues(keys);
    ApplySettings(text, names, *this);
  }
  std::string Key(int slot) const { return keys[static_cast<std::size_t>(slot)].data(); }
  std::string Launch() const { return launch_command.data(); }
};

TEST(SettingsKeys, OnlyOneCharacterValuesRebind) {
  EXPECT_EQ(Loaded("help=?").Key(kHelp), "?");
  EXPECT_EQ(Loaded("help==").Key(kHelp), "=");
  for (const char* refused : {"help=??", "help=", "help= ?", "help", "help=?\r"}) {
    EXPECT_EQ(Loaded(refused).Key(kHelp), "h") << refused;
  }
}

TEST(SettingsKeys, NamesAreFoundAnywhereAndAllSlotsAreTried) {
  const Loaded both("help undo=!");
  EXPECT_EQ(both.Key(kHelp), "!");
  EXPECT_EQ(both.Key(kUndo), "!");
  // A launch command that names a command is a key line: it changes neither.
  const Loaded make_help("launch_command=make help");
  EXPECT_EQ(make_help.Launch(), "");
  EXPECT_EQ(make_help.Key(kHelp), "h");
  // "position_up" is inside no other name, but "open" sits in nothing else either; the first
  // "=" splits the value.
  EXPECT_EQ(Loaded("open=o=").Key(kOpen), "O");
  EXPECT_EQ(Loaded("xopenx=o").Key(kOpen), "o");
}

TEST(SettingsLimits, MaxCharAndMaxLines) {
  EXPECT_EQ(Loaded("max_char=80").limits.lsize, 81);
  EXPECT_EQ(Loaded("max_char=12abc").limits.lsize, 13);
  EXPECT_EQ(Loaded("max_char= +7").limits.lsize, 8);
  EXPECT_EQ(Loaded("max_char=2").limits.lsize, 3);
  for (const char* refused : {"max_char=0", "max_char=1", "max_char=-5", "max_char=abc",
                              "max_char=2147483647", "max_char=99999999999", "max_char"}) {
    EXPECT_EQ(Loaded(refused).limits.lsize, 256) << refused;
  }
  EXPECT_EQ(Loaded("max_lines=500").limits.lines, 500);
  EXPECT_EQ(Loaded("max_lines=0").limits.lines, 32767);
  EXPECT_EQ(Loaded("max_lines=4294967297").limits.lines, 32767);
}

TEST(SettingsView, AnchorAndPageUseTheLimitsInForceAtTheirLine) {
  EXPECT_EQ(Loaded("anchor_position=1").anchor_pos, 0);
  EXPECT_EQ(Loaded("anchor_position=10").anchor_pos, 9);
  EXPECT_EQ(Loaded("anchor_position=255").anchor_pos, 254);
  EXPECT_EQ(Loaded("anchor_position=256").anchor_pos, 0);
  EXPECT_EQ(Loaded("anchor_position=0").anchor_pos, 0);
  EXPECT_EQ(Loaded("anchor_position=300\nmax_char=400").anchor_pos, 0);
  EXPECT_EQ(Loaded("max_char=400\nanchor_position=300").anchor_pos, 299);

  EXPECT_EQ(Loaded("lines_per_page=20").page_length, 20);
  EXPECT_EQ(Loaded("lines_per_page=0").page_length, 8);
  EXPECT_EQ(Loaded("lines_per_page=32767").page_length, 8);
  EXPECT_EQ(Loaded("max_lines=40000\nlines_per_page=32767").page_length, 32767);
}

TEST(SettingsView, ShowNumbersIsOnOnlyForExactlyOn) {
  EXPECT_TRUE(Loaded("show_numbers=off\nshow_numbers=on").show_numbers);
  for (const char* off : {"show_numbers=On", "show_numbers=yes", "show_numbers=on ",
                          "show_numbers=", "show_numbers=on\r"}) {
    EXPECT_FALSE(Loaded(off).show_numbers) << off;
  }
  EXPECT_TRUE(Loaded("show_numbers").show_numbers);  // no "=": ignored
}

TEST(SettingsAutosave, ZeroTo3600IsTaken) {
  EXPECT_EQ(Loaded("").autosave_seconds, 2);
  EXPECT_EQ(Loaded("autosave_seconds=0").autosave_seconds, 0);
  EXPECT_EQ(Loaded("autosave_seconds=3600").autosave_seconds, 3600);
  EXPECT_EQ(Loaded("autosave_seconds=10s").autosave_seconds, 10);
  EXPECT_EQ(Loaded("autosave_seconds=abc").autosave_seconds, 0);  // no digits: 0, as elsewhere
  for (const char* refused : {"autosave_seconds=3601", "autosave_seconds=-1",
                              "autosave_seconds=99999999999", "autosave_seconds"}) {
    EXPECT_EQ(Loaded(refused).autosave_seconds, 2) << refused;
  }
  // Not written into the default file; a launch command naming it is no launch command.
  EXPECT_EQ(Loaded("launch_command=x autosave_seconds=0").Launch(), "");
}

TEST(SettingsLaunch, StoredWhenNotEmptyAndAtMost255) {
  EXPECT_EQ(Loaded("launch_command=make").Launch(), "make");
  EXPECT_EQ(Loaded("launch_command=make\nlaunch_command=").Launch(), "make");
  EXPECT_EQ(Loaded("launch_command=make\r").Launch(), "make\r");
  EXPECT_EQ(Loaded("launch_command=a=b").Launch(), "a=b");
  // A longer command is not taken: cut, it would be another command.
  EXPECT_EQ(Loaded("launch_command=" + std::string(256, 'm')).Launch(), "");
  EXPECT_EQ(Loaded("launch_command=" + std::string(255, 'm')).Launch(), std::string(255, 'm'));
  // A value naming another setting belongs to that setting.
  EXPECT_EQ(Loaded("launch_command=max_lines=5").limits.lines, 32767);
}

TEST(SettingsLaunch, RuleTakesOnlyFilesOfTheUserOrRootThatNoOneElseCanWrite) {
  constexpr uid_t kUser = 1000;
  const struct {
    uid_t owner;
    mode_t mode;
    uid_t user;
    LaunchRule rule;
  } cases[] = {
      {kUser, 0644, kUser, LaunchRule::kTaken},
      {kUser, 0600, kUser, LaunchRule::kTaken},
      {0, 0644, kUser, LaunchRule::kTaken},  // root's file
      {kUser, 0755 | S_IFREG, kUser, LaunchRule::kTaken},
      {kUser, 0664, kUser, LaunchRule::kWritableByGroup},
      {kUser, 0666, kUser, LaunchRule::kWritableByOthers},
      {kUser, 0646, kUser, LaunchRule::kWritableByOthers},
      {kUser, 0622, kUser, LaunchRule::kWritableByOthers},
      {1001, 0644, kUser, LaunchRule::kOwnedByAnotherUser},
      {kUser, 0644, 0, LaunchRule::kOwnedByAnotherUser},  // root reading a user's file
      {1001, 0666, kUser, LaunchRule::kOwnedByAnotherUser},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckLaunchRule(c.owner, c.mode, c.user), c.rule)
        << c.owner << " " << std::oct << c.mode << std::dec << " " << c.user;
  }
  EXPECT_EQ(LaunchRuleReason(LaunchRule::kTaken), "");
  EXPECT_EQ(LaunchRuleReason(LaunchRule::kWritableByOthers), "the file is writable by others");
}

// A folder that holds the settings file (or a link on the way) is another user's to change when
// it is theirs, or writable by others or a group not the user's own, unless it is sticky.
TEST(SettingsLaunch, AFolderIsTheUsersWhenNoOtherUserCanChangeIt) {
  constexpr uid_t kUser = 1000;
  const struct {
    uid_t owner;
    mode_t mode;
    bool own_group;
    bool changeable;
  } cases[] = {
      {kUser, 0755, false, false}, {0, 0755, false, false},   {kUser, 0775, true, false},
      {kUser, 0775, false, true},  {kUser, 0777, true, true}, {kUser, 01777, false, false},
      {0, 01777, false, false},    {1001, 0755, false, true}, {1001, 01777, false, true},
      {0, 0770, false, true},      {0, 0770, true, false},
  };
  for (const auto& c : cases) {
    struct stat folder {};
    folder.st_uid = c.owner;
    folder.st_mode = S_IFDIR | c.mode;
    EXPECT_EQ(FolderChangeableByAnother(folder, kUser, c.own_group), c.changeable)
        << c.owner << " " << std::oct << c.mode << std::dec << " " << c.own_group;
  }
}

TEST(SettingsText, LaterLinesWinAndTheTextEndsAtNul) {
  EXPECT_EQ(Loaded("help=?\n\n\nhelp=!\n").Key(kHelp), "!");
  EXPECT_EQ(Loaded("help=?\n\nhelp=!!\n").Key(kHelp), "?");
  EXPECT_EQ(Loaded(std::string("help=?\0help=!", 13)).Key(kHelp), "?");
  // Lines are read whole however long the file is.
  EXPECT_EQ(Loaded(std::string(5000, '\n') + "quit=Q").Key(kQuit), "Q");
  // Bytes of every value are fine.
  EXPECT_EQ(Loaded("quit=\xff").Key(kQuit), "\xff");
}

// The settings file is written from the settings: the default one byte for byte as it has
// always been, and other settings so that reading the text gives them back.
TEST(SettingsText, WrittenFromTheSettingsAndReadBackTheSame) {
  const Loaded defaults("");
  const std::string text = SettingsText(defaults.names, defaults);
  EXPECT_EQ(text.size(), 561u);
  EXPECT_EQ(text.rfind("position_back=b\nposition_forw=n\n", 0), 0u);
  EXPECT_EQ(text.substr(text.find("quit=")),
            "quit=q\nmax_lines=32767\nmax_char=255\n\nanchor_position=0\nlines_per_page=8\n"
            "show_numbers=on\nlaunch_command=\n");
  EXPECT_EQ(Loaded(text), defaults);

  Loaded changed(
      "help=?\nmax_char=80\nmax_lines=100\nlines_per_page=20\nshow_numbers=off\n"
      "launch_command=make\n");
  changed.anchor_pos = 9;
  EXPECT_EQ(Loaded(SettingsText(changed.names, changed)), changed);
}

}  // namespace
}  // namespace ostrel
