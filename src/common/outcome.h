// How a dialogue with the user ended: the one result that every question-and-answer procedure
// (a file-name question, the save dialogues, a save, an open) gives its caller, which turns it
// into changes of the editor state.
#pragma once

namespace ostrel {

enum class Outcome {
  kDone,       // it went through: a name was given, the text saved, the file loaded
  kNoFile,     // no file of the name given to load exists: the document keeps its text and
               // takes the name, as a new file's
  kRefused,    // it could not go through, and the user was told why; nothing else changed
  kEnded,      // no answer came: the input ended (or could not be read)
  kCancelled,  // the user backed out ('x'), or a signal interrupted a question (the signal is the
               // command loop's to act on); nothing changed
  kAbandoned,  // the user declined to go on where the editor cannot: it ends, with status 1
};

}  // namespace ostrel
