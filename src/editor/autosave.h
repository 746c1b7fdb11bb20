// Keeping the session's rescue file current while the user types on a terminal: written in the
// pauses of a read, and at least every few pauses' time of steady typing.
#pragma once

#include "console/console.h"
#include "editor/state.h"

namespace ostrel {

// Steady typing has no pauses: on a terminal, before each view, the session's rescue file is
// brought up to date once the oldest change it lacks is kAgeFactor pauses old, so that what a
// kill loses stays bounded by time as well.
void KeepRescueWithinAge(const Document& doc, Session& session, const Console& con);

// While it lives, a terminal's pauses write unsaved changes that the session's rescue file does
// not hold yet into it, without a word, so that the line being typed is left alone. A failed
// write is tried again after the next change.
class IdleWrites {
 public:
  IdleWrites(const Document& doc, Session& session, Console& con);
  ~IdleWrites();
  IdleWrites(const IdleWrites&) = delete;
  IdleWrites& operator=(const IdleWrites&) = delete;

 private:
  Console& con_;
};

}  // namespace ostrel
