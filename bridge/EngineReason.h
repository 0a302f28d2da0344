#pragma once
// Why the engine did not do what it was asked, as one vocabulary for the
// whole program. The engine says it with a short reason code on its error
// line ("Error: [password_required] Failed to open PDF file: ..."); an engine
// without codes (pdftk-java, an older tovix.dll) is read by its wording here,
// and nowhere else. Front ends look at reasons and kinds, never at words.

#include <string>
#include <string_view>

namespace sundrel::bridge {

enum class EngineReason {
  None, // it did what it was asked
  // The engine's reason codes; each keeps its meaning for good.
  Usage,             // usage: a command it does not understand
  NotSupported,      // not_supported: a pdftk operation or option it does not perform
  NotFound,          // not_found: an input that does not exist
  PasswordRequired,  // password_required: an input that needs a password, given none
  PasswordIncorrect, // password_incorrect: the password given does not open it
  Damaged,           // damaged: a file, page or object that cannot be read
  Changed,           // changed: an input changed or replaced while it was read
  TooLarge,          // too_large: content that decodes past the engine's bound
  Range,             // range: page ranges that select no page or pages it lacks
  Io,                // io: a file that cannot be read or written (rights, space)
  Refused,           // refused: an output it will not write (an input, a folder)
  Failed,            // failed: anything else (out of memory, an internal error)
  // What the program sees itself.
  EngineMissing, // the engine could not be started
  TimedOut,      // it ran past its time limit and was stopped
  Crashed,       // it ended without an exit code (a signal)
  Lost,          // a session that died or answered something that is no answer
  Unknown,       // a failure without a code whose words are not known
};

// The engine's code for reason ("password_required"); empty for the reasons
// the program sees itself.
std::string_view reasonCode(EngineReason reason);
// The reason of an engine's code; Unknown for a code this program does not
// know (a newer engine's).
EngineReason reasonOfCode(std::string_view code);

// The line the engine writes for a failure: "Error: [code] text".
std::string errorLine(EngineReason reason, std::string_view text);

struct EngineMessage {
  EngineReason reason = EngineReason::None;
  std::string text; // the engine's words for people, without "Error: " and the code
};

// What an engine said about its failure: the first error line of output (a
// session answer's message, or everything a one-shot run wrote), its code
// read, or where it has none, its reason taken from the known wording
// (pdftk's lines that follow its error line joined to it). Unknown when
// neither tells.
EngineMessage readEngineError(std::string_view output);
// The text of the engine's first "Warning: " line in its output, without
// that word; empty when there is none.
std::string readEngineWarning(std::string_view output);

// The reason that an engine's words alone give (a message that has lost its
// code): a password missing or wrong, a missing file, a page range.
EngineReason reasonOfText(std::string_view text);

// What became of a file that was not split.
enum class FailureKind {
  None,
  Unreadable,
  Protected,
  EngineMissing,
  ProbeFailed,
  PartNotWritten,
  StageFailed,
  Overwrite,
  Timeout,
  SourceChanged // replaced or changed on disk while it was being split
};

// The kind of a file's failure for an engine reason. Reasons about the
// source or the engine (a password, a missing file, a change, the time
// limit) have their own kind whatever the step; the others take the kind of
// the step that failed (`step`: reading the file, measuring, writing a part).
FailureKind failureKind(EngineReason reason, FailureKind step);

} // namespace sundrel::bridge
