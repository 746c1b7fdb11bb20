#include "signals/signals.h"

#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// The wait ends with input, with a noted signal, or when its time is up; input and a signal
// already there end it at once, whatever the time given.
TEST(Wait, EndsWithInputASignalOrItsTimeout) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(WaitForInput(fds[0], 20), WaitResult::kTimedOut);
  EXPECT_EQ(WaitForInput(fds[0], 0), WaitResult::kTimedOut);
  NoteSignal(SIGINT);
  EXPECT_EQ(WaitForInput(fds[0], 60000), WaitResult::kSignal);
  EXPECT_EQ(WaitForInput(fds[0]), WaitResult::kSignal);
  EXPECT_EQ(TakeSignal(), SIGINT);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_EQ(WaitForInput(fds[0], 60000), WaitResult::kReady);
  EXPECT_EQ(WaitForInput(fds[0]), WaitResult::kReady);
  close(fds[0]);
  close(fds[1]);
}

// Of two signals noted before the editor looks, it acts on the first, except that an interrupt
// gives way to a hangup or a termination, which end the editor.
TEST(Wait, TheSignalActedOnOfTwoNoted) {
  const struct {
    int first;
    int second;
    int acted_on;
  } orders[] = {
      {SIGTERM, SIGINT, SIGTERM}, {SIGHUP, SIGINT, SIGHUP},   {SIGINT, SIGTERM, SIGTERM},
      {SIGINT, SIGHUP, SIGHUP},   {SIGTERM, SIGHUP, SIGTERM}, {SIGHUP, SIGTERM, SIGHUP},
      {SIGINT, SIGINT, SIGINT},
  };
  for (const auto& o : orders) {
    NoteSignal(o.first);
    NoteSignal(o.second);
    EXPECT_EQ(TakeSignal(), o.acted_on) << o.first << " then " << o.second;
    EXPECT_EQ(TakeSignal(), 0);
  }
}

}  // namespace
}  // namespace ostrel
