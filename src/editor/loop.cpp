#include "editor/loop.h"

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <utility>

#include "common/sys_result.h"
#include "console/question.h"
#include "editor/autosave.h"
#include "editor/commands.h"
#include "editor/undo.h"
#include "editor/view.h"
#include "files/rescue.h"
#include "files/save.h"
#include "settings/settings.h"
#include "signals/signals.h"

namespace ostrel {
namespace {

// Where the signal acted on interrupted the editor.
enum class SignalPlace {
  kCommandLine,
  kQuestion,   // a question of a command
  kElsewhere,  // start-up, or after the last read
};

// Acts on a signal noted since the last look, once the command whose read it interrupted has
// returned. Ctrl-C on a terminal cancels: that question is over, the command has changed
// nothing, and the editor goes on (at a question it says "Cancelled", at the command line how
// to quit). Every other
// signal ends the editor, by that signal, after the rescue file is written.
void ActOnSignal(const Document& doc, Session& session, Console& con, SignalPlace place) {
  const int sig = TakeSignal();
  if (sig == 0) return;
  if (sig == kOutputFailed) {
    // Nobody sees the view any more: the text is rescued, and the end is told where it can be.
    if (doc.buffer.Changed()) Rescue(doc.file_name.data(), doc.buffer, con, session.rescue);
    con.ReleaseInput();
    ReportFailedStream("cannot write the view", con.OutputResult().error());
    _exit(1);
  }
  if (sig != SIGINT || !con.InputIsTerminal()) {
    if (doc.buffer.Changed()) Rescue(doc.file_name.data(), doc.buffer, con, session.rescue);
    con.FinishLine();
    con.ReleaseInput();
    EndBySignal(sig);
  }
  if (place == SignalPlace::kQuestion) con.Line("Cancelled");
  if (place != SignalPlace::kCommandLine) return;
  // The confirmation is the letter q whatever the quit key is.
  const char* key = session.settings.keys[kQuit].data();
  if (std::strcmp(key, "q") == 0) {
    con.Line("Interrupted: enter 'q' twice to quit");
  } else {
    con.Print("Interrupted: enter '%s' and then 'q' to quit\n", Visible(key));
  }
}

}  // namespace

bool StartUp(EditorState& s, const char* file, Console& con) {
  Settings& settings = s.session.settings;
  con.Line(kBanner);
  // The view settings, the names and the launch command start at the values the state is
  // made with; the key tables are filled here, in the editor's start-up order.
  MakeKeys(s.session.key_names);
  SetDefaultValues(settings.keys);
  ReadRC(s.session.key_names, settings, con);
  // A max_char line after anchor_position may have shrunk the slots under the anchor.
  if (settings.anchor_pos > settings.limits.lsize - 1)
    settings.anchor_pos = settings.limits.lsize - 1;
  con.Print("\nEnter '%s' for help or '%s' to quit\n", Visible(settings.keys[kHelp].data()),
            Visible(settings.keys[kQuit].data()));

  if (!s.AllocateBuffers()) {
    const int64_t bytes = int64_t{settings.limits.lines} * int64_t{settings.limits.lsize};
    if (bytes >= (int64_t{1} << 31)) {
      con.Print("Text buffer of %d lines of %d bytes is too large (2147483648 bytes or more)\n",
                settings.limits.lines, settings.limits.lsize);
    } else {
      con.Print("Cannot allocate a text buffer of %lld bytes and its work buffers\n",
                static_cast<long long>(bytes));
    }
    s.session.exit_status = 1;
    return false;
  }
  // The cursor, the line lock and the undo record keep the start values the state is made with.
  if (file != nullptr && !StartUpOpen(s.doc, file, con)) {
    s.session.exit_status = 1;
    return false;
  }
  return true;
}

const char* TypedText(const char* input) {
  // A leading '!' is how a line that would be a key is typed as text: the rest is the text.
  return input[0] == '!' ? input + 1 : input;
}

void EnterText(Document& doc, View& view, Console& con, const char* text) {
  ReserveForEdit(doc);
  doc.undo.RecordLine(UndoKind::kLineText, view.cursor_line, doc.buffer);
  const int32_t dropped = Replace(view.cursor_line, CursorColumn(doc, view), text, doc.buffer, con);
  SayDropped(dropped, con);
  // The byte column is kept, so that successive lines of text start at the same column.
  if (view.cursor_line < doc.buffer.lines() - 1 && !view.line_lock) ++view.cursor_line;
}

namespace {

// Runs `command`, which gives the command's outcome. Memory that cannot be had ends it here,
// whether for an edit's working blocks (ReserveForEdit) or anything else: every edit asks for
// its memory before it changes anything.
template <typename Command>
Outcome RunWithinMemory(Console& con, Command&& command) {
  Outcome outcome = Outcome::kDone;
  const SysResult<> ran =
      CatchNoMemory("run a command", [&] { outcome = std::forward<Command>(command)(); });
  if (!ran.ok()) con.Line("Not enough memory: nothing was changed");
  return outcome;
}

// One cycle without its closing step.
void RunCycle(EditorState& s, Console& con) {
  char* input = s.session.command_input.data();
  const int32_t lsize = s.doc.buffer.lsize();
  // The rest of a line longer than the command input is read before the view: a later piece
  // is text, and the newline alone after a line that exactly filled the input is no line.
  bool later_piece = false;
  ReadOutcome outcome = ReadOutcome::kLine;
  if (s.session.line_goes_on) {
    bool goes_on = false;
    outcome = con.ReadPiece(input, lsize, InputKind::kCommand, goes_on);
    // After a signal the rest of the line is still to come.
    if (outcome == ReadOutcome::kLine) {
      s.session.line_goes_on = goes_on;
      later_piece = std::strcmp(input, "\n") != 0;
    }
  }
  KeepRescueWithinAge(s.doc, s.session, con);
  con.StartView();
  Display(s.view.cursor_line, s.view.cursor_pos, s.session.settings.page_length - 1, s.doc.buffer,
          s.session.settings.show_numbers, s.doc.file_name.data(), con);
  if (outcome == ReadOutcome::kLine && !later_piece) {
    outcome = con.ReadPiece(input, lsize, InputKind::kCommand, s.session.line_goes_on);
  }
  if (outcome != ReadOutcome::kLine) {
    if (outcome == ReadOutcome::kInterrupted) {
      ActOnSignal(s.doc, s.session, con, SignalPlace::kCommandLine);
    } else {
      s.session.quit = true;  // end of input ends the editor as a confirmed quit does
      s.session.input_ended = true;
    }
    return;
  }
  if (!later_piece && std::strcmp(input, "\n") == 0 &&
      s.view.cursor_line < s.doc.buffer.lines() - 1) {
    ++s.view.cursor_line;
    return;
  }
  input[std::strcspn(input, "\n")] = '\0';
  const int slot = later_piece ? -1 : MatchSlot(input, s.session.settings.keys);
  if (slot >= 0) {
    if (RunWithinMemory(con, [&] { return RunHandler(CommandAt(slot).handler, s, con); }) ==
        Outcome::kCancelled) {
      ActOnSignal(s.doc, s.session, con, SignalPlace::kQuestion);
    } else if (const int sig = PendingSignal(); sig != 0 && sig != SIGINT) {
      // A hangup or termination that a launched command's wait gave way to: acted on now.
      ActOnSignal(s.doc, s.session, con, SignalPlace::kElsewhere);
    }
  } else {
    // A later piece of an over-long line is text as it is.
    (void)RunWithinMemory(con, [&] {
      EnterText(s.doc, s.view, con, later_piece ? input : TypedText(input));
      return Outcome::kDone;
    });
  }
}

}  // namespace

void Cycle(EditorState& s, Console& con) {
  RunCycle(s, con);
  // The lines the command wrote go back to costing their own length.
  s.doc.buffer.FitWrittenLines();
}

Outcome QuitCommand(Document& doc, Session& session, View&, Console& con) {
  WarnOfUnsavedChanges(doc, con);
  con.Line("Enter 'q' again to quit or anything else to continue");
  char* input = session.command_input.data();
  // The confirmation is always the letter q and its newline, whatever key quit has; end of
  // input here ends the editor too. An interrupt is the loop's to act on.
  const Outcome answered = AskWhole(con, input, doc.buffer.lsize());
  if (answered == Outcome::kEnded) {
    session.quit = true;
    session.input_ended = true;
  } else if (answered == Outcome::kDone && std::strcmp(input, "q\n") == 0) {
    // The user chose to drop the unsaved text: its rescue file goes too, unless it holds text
    // whose save was refused.
    session.quit = true;
    DropRescue(session.rescue);
  }
  return answered == Outcome::kCancelled ? answered : Outcome::kDone;
}

int Run(const char* file, Console& con, const std::optional<StartPosition>& start) {
  EditorState s;
  if (StartUp(s, file, con)) {
    if (start) GoToStartPosition(s.doc, s.view, *start);
    const IdleWrites idle_writes(s.doc, s.session, con);
    while (!s.session.quit) Cycle(s, con);
  }
  // The output still waiting is written first: a script sent ahead has its output written
  // only now, and a reader that has gone away ends the editor here as it would at a read.
  (void)con.Flush();
  // A signal that came after the last read still ends the editor.
  ActOnSignal(s.doc, s.session, con, SignalPlace::kElsewhere);
  if (s.session.exit_status == 0) {
    // The end of a terminal's input is no choice to drop the text: it is rescued, and the
    // status says that it did not reach its file.
    if (s.session.input_ended && con.InputIsTerminal() && s.doc.buffer.Changed()) {
      Rescue(s.doc.file_name.data(), s.doc.buffer, con, s.session.rescue);
      s.session.exit_status = 1;
    }
    if (s.session.save_failed) s.session.exit_status = 1;
  }
  // An input that failed ended the editor as its end does, but that is no end anybody chose.
  const bool unreadable = !con.InputResult().ok();
  if (unreadable) {
    if (s.doc.buffer.Changed() && !con.InputIsTerminal()) {
      Rescue(s.doc.file_name.data(), s.doc.buffer, con, s.session.rescue);
    }
    s.session.exit_status = 1;
  }
  con.FinishLine();
  // Whatever reads the input next (the script that started the editor) reads on from here.
  con.ReleaseInput();
  if (unreadable) ReportFailedStream("cannot read the commands", con.InputResult().error());
  return s.session.exit_status;
}

}  // namespace ostrel
