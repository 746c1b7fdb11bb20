// The settings reader over arbitrary text: applied in memory and read back from a file, the two
// must agree, and every setting must come out usable (keys of one character, a launch command
// that ends inside its buffer, limits that can size a grid). The first byte also picks the
// file's group and other write bits and an owner for the launch command rule: a file that
// fails the rule gives every setting but the launch command.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "console/console.h"
#include "editor/commands.h"
#include "fuzz_support.h"
#include "settings/settings.h"

namespace {

using namespace ostrel;

KeyNameTable g_names;
int g_out = -1;
// The scratch directory, made ready for each run.
std::unique_ptr<fuzz::Workspace> g_work;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "settings fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_work = std::make_unique<fuzz::Workspace>(fuzz::EnterScratchDirectory().c_str());
  MakeKeys(g_names);
  g_out = fuzz::NullOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  Settings applied;
  SetDefaultValues(applied.keys);
  ApplySettings(text, g_names, applied);
  for (const auto& key : applied.keys) Check(key[0] != '\0' && key[1] == '\0', "key not one char");
  Check(std::memchr(applied.launch_command.data(), 0, applied.launch_command.size()) != nullptr,
        "launch command not terminated");
  Check(applied.limits.lsize >= 3 && applied.limits.lines >= 1, "limits out of range");
  Check(applied.anchor_pos >= 0, "negative anchor");
  Check(applied.page_length >= 1, "page length below 1");

  // The rule alone: taken exactly for a file of the user or root that no one else can write.
  const unsigned pick = size > 0 ? data[0] : 0;
  const mode_t mode =
      S_IRUSR | S_IWUSR | ((pick & 1) != 0 ? S_IWGRP : 0) | ((pick & 2) != 0 ? S_IWOTH : 0);
  const uid_t user = geteuid();
  const uid_t owner = (pick & 4) != 0 ? user + 1 : (pick & 8) != 0 ? 0 : user;
  const LaunchRule rule = CheckLaunchRule(owner, mode, user);
  const bool trusted = (owner == user || owner == 0) && (mode & (S_IWGRP | S_IWOTH)) == 0;
  Check((rule == LaunchRule::kTaken) == trusted, "launch rule");
  Check(LaunchRuleReason(rule).empty() == trusted, "launch rule reason");

  // The reader on a file of that mode, owned by the user running this.
  g_work->Prepare({{kSettingsFileName, text}});
  Check(chmod(kSettingsFileName, mode) == 0, "chmod");
  Settings read;
  SetDefaultValues(read.keys);
  static fuzz::MemoryFile no_input;
  Console con(no_input.Hold(""), g_out);
  Check(ReadRC(g_names, read, con), "ReadRC did not read the file");
  if (CheckLaunchRule(user, mode, user) != LaunchRule::kTaken) {
    applied.launch_command = Settings{}.launch_command;
  }
  Check(read == applied, "ReadRC and ApplySettings disagree");
  return 0;
}
