#include "editor/autosave.h"

#include <chrono>
#include <string>

#include "files/rescue.h"

namespace ostrel {
namespace {

// Whether the document holds changes that the session's rescue file does not, and no write of
// them was tried yet.
bool IdleWriteDue(const Document& doc, const Session& session) {
  return doc.buffer.Changed() && doc.buffer.ChangeCount() != session.rescue.changes;
}

// How many pauses old the oldest change the rescue file lacks may grow during steady typing.
constexpr int kAgeFactor = 5;

}  // namespace

void KeepRescueWithinAge(const Document& doc, Session& session, const Console& con) {
  using Clock = std::chrono::steady_clock;
  RescueLag& lag = session.rescue_lag;
  if (!con.InputIsTerminal() || session.settings.autosave_seconds == 0 ||
      !IdleWriteDue(doc, session)) {
    lag.behind = false;
    return;
  }
  const Clock::time_point now = Clock::now();
  // The first view after a change the file lacks, since the file's last write tried.
  if (!lag.behind || lag.from != session.rescue.changes) {
    lag = {.behind = true, .from = session.rescue.changes, .since = now};
    return;
  }
  if (now - lag.since < std::chrono::seconds(kAgeFactor * session.settings.autosave_seconds))
    return;
  std::string name;
  (void)WriteRescue(doc.file_name.data(), doc.buffer, session.rescue, name);
  lag.behind = false;
}

IdleWrites::IdleWrites(const Document& doc, Session& session, Console& con) : con_(con) {
  constexpr int kMillisecondsPerSecond = 1000;
  con.WhenIdle({.after_ms = session.settings.autosave_seconds * kMillisecondsPerSecond,
                .due = [&doc, &session] { return IdleWriteDue(doc, session); },
                .run =
                    [&doc, &session] {
                      std::string name;
                      (void)WriteRescue(doc.file_name.data(), doc.buffer, session.rescue, name);
                    }});
}

IdleWrites::~IdleWrites() {
  con_.WhenIdle({});
}

}  // namespace ostrel
