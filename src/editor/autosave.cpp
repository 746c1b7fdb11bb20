#include "editor/autosave.h"

#include <chrono>
#include <string>

#include "files/rescue.h"

namespace ostrel {
namespace {

// Whether the document holds changes that the session's rescue file does not, and no write of
// them was tried yet.
bool IdleWriteDue(const EditorState& s) {
  return s.buffer.Changed() && s.buffer.ChangeCount() != s.rescue.changes;
}

// How many pauses old the oldest change the rescue file lacks may grow during steady typing.
constexpr int kAgeFactor = 5;

}  // namespace

void KeepRescueWithinAge(EditorState& s, const Console& con) {
  using Clock = std::chrono::steady_clock;
  RescueLag& lag = s.rescue_lag;
  if (!con.InputIsTerminal() || s.settings.autosave_seconds == 0 || !IdleWriteDue(s)) {
    lag.behind = false;
    return;
  }
  const Clock::time_point now = Clock::now();
  // The first view after a change the file lacks, since the file's last write tried.
  if (!lag.behind || lag.from != s.rescue.changes) {
    lag = {.behind = true, .from = s.rescue.changes, .since = now};
    return;
  }
  if (now - lag.since < std::chrono::seconds(kAgeFactor * s.settings.autosave_seconds)) return;
  std::string name;
  (void)WriteRescue(s.file_name.data(), s.buffer, s.rescue, name);
  lag.behind = false;
}

IdleWrites::IdleWrites(EditorState& s, Console& con) : con_(con) {
  constexpr int kMillisecondsPerSecond = 1000;
  con.WhenIdle({.after_ms = s.settings.autosave_seconds * kMillisecondsPerSecond,
                .due = [&s] { return IdleWriteDue(s); },
                .run =
                    [&s] {
                      std::string name;
                      (void)WriteRescue(s.file_name.data(), s.buffer, s.rescue, name);
                    }});
}

IdleWrites::~IdleWrites() {
  con_.WhenIdle({});
}

}  // namespace ostrel
