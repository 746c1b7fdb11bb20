// A question's answer as the outcome of the question: the one place where how a read ended
// becomes an Outcome, so that no dialogue asks the console afterwards what its last read did.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/outcome.h"
#include "console/console.h"

namespace ostrel {

// Console::ReadWhole (the newline kept) as an outcome: kDone with the answer in `buf`, kEnded
// when the input ended or could not be read, kCancelled when a signal interrupted the read.
inline Outcome AskWhole(Console& con, char* buf, int limit, InputKind kind = InputKind::kAnswer,
                        bool* cut = nullptr) {
  if (con.ReadWhole(buf, limit, kind, cut)) return Outcome::kDone;
  return con.last_read() == ReadOutcome::kInterrupted ? Outcome::kCancelled : Outcome::kEnded;
}

// Console::ReadNumber as an outcome: kDone with the number in `n`; kEnded at the end of input,
// `n` then 0 as for an empty answer; kCancelled when a signal interrupted the read.
inline Outcome AskNumber(Console& con, int32_t& n) {
  n = con.ReadNumber();
  if (con.last_read() == ReadOutcome::kInterrupted) return Outcome::kCancelled;
  return con.last_read() == ReadOutcome::kEnd ? Outcome::kEnded : Outcome::kDone;
}

// Console::ReadAnswer (the newline cut) as an outcome, as AskWhole.
inline Outcome Ask(Console& con, char* buf, int limit, InputKind kind = InputKind::kAnswer,
                   bool* cut = nullptr) {
  const Outcome outcome = AskWhole(con, buf, limit, kind, cut);
  if (outcome == Outcome::kDone) buf[std::strcspn(buf, "\n")] = '\0';
  return outcome;
}

}  // namespace ostrel
