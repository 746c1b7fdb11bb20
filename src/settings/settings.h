// The settings file: command keys, the grid limits and the view's start values.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/limits.h"
#include "common/name.h"
#include "settings/keys.h"

namespace ostrel {

class Console;

inline constexpr const char* kSettingsFileName = ".vazaru_da";

// Everything the settings file can set, at the editor's start values. The view settings and the
// launch command change during the run too; the limits are fixed once the grid is allocated.
struct Settings {
  KeyTable keys{};  // filled by SetDefaultValues before the file is read
  Limits limits;
  int32_t anchor_pos = 0;
  int32_t page_length = 8;
  bool show_numbers = true;
  NameBuffer launch_command{};
  // On a terminal, the seconds of waiting for input after which unsaved changes go to the
  // session's rescue file; 0 never. Read from the file but never written into the default one.
  int32_t autosave_seconds = 2;

  bool operator==(const Settings&) const = default;
};

// Applies settings text to `settings`, line by line: a line that holds a command's name
// rebinds that command (when its value is one character); otherwise the first of max_lines,
// max_char, anchor_position, lines_per_page, show_numbers, autosave_seconds, launch_command that
// it holds takes the value after the first "=" if that setting's rule accepts it. A launch_command
// longer than the command buffer holds is not taken; `launch_command_too_long`, when given, is then
// set.
void ApplySettings(std::string_view text, const KeyNameTable& names, Settings& settings,
                   bool* launch_command_too_long = nullptr);

// Whether a settings file may give the launch command, which runs through the shell. A file
// from elsewhere (an unpacked archive, a shared directory) must not run commands: the file has
// to be owned by the user running the editor, or by root, and writable by no one else; every
// link on the way to it must be the user's or root's; and where the file or a link on the way
// lies in a directory others may write, the file must have no other name (a hard link another
// user made to a file of ours whose text they can influence). The directory that holds the
// file, and each one that holds a link on the way, must be one no other user can change
// (FolderChangeableByAnother): otherwise another user could rename a file of ours, whose text
// they can influence, to the settings file's name.
enum class LaunchRule {
  kTaken,
  kOwnedByAnotherUser,
  kWritableByOthers,
  kWritableByGroup,
  kLinkOfAnotherUser,
  kFolderOfAnotherUser,
  kOtherNamesInSharedDirectory,
};

// Whether users other than `user` may put, rename or remove files in `directory`: it is owned
// by neither `user` nor root, or it is not sticky and writable by others, or by a group that is
// not the user's own (`own_group`: the user's primary group, which has no other member).
bool FolderChangeableByAnother(const struct stat& directory, uid_t user, bool own_group);

// The rule for a file of owner `owner` and mode `mode`, read by effective user `user`.
LaunchRule CheckLaunchRule(uid_t owner, mode_t mode, uid_t user);

// Why a launch command was not taken ("the file is writable by others"); empty for kTaken.
std::string_view LaunchRuleReason(LaunchRule rule);

// The rule for the whole way from the name `file_name` to the file `opened` (what was read),
// for effective user `user`: the links met resolving the name, the file reached (which must be
// `opened`: it is opened again by its resolved path, not following a link, and compared), and
// its hard links.
LaunchRule CheckLaunchWay(const char* file_name, const struct stat& opened, uid_t user);

// Reads the settings file of the current directory into `settings`, or writes the default file
// when there is none. A file that exists but cannot be opened is left as it is and changes
// nothing. A launch command is taken only when CheckLaunchWay allows it for the file opened;
// otherwise the file's other settings are taken and one line says why the command was not.
// True when a file of that name exists, false when the default file was written or attempted.
bool ReadRC(const KeyNameTable& names, Settings& settings, Console& con,
            const char* file_name = kSettingsFileName);

// The text of a settings file that gives `settings`: each command's key under its name in slot
// order, the grid limits, an empty line, then the view settings and the launch command. The
// autosave seconds are left out: the default file does not offer them. The anchor in its start
// column is written as 0, which the reader does not take.
std::string SettingsText(const KeyNameTable& names, const Settings& settings);

// Writes the settings file of `settings` under `file_name` (the default file, with the start
// values): a new file (an existing file or link of that name is left alone and reported),
// readable by all, writable by its owner only.
void MakeRC(const KeyNameTable& names, const Settings& settings, const char* file_name,
            Console& con);

}  // namespace ostrel
