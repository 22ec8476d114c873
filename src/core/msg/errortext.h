#pragma once

#include <QString>

#include "platform/errorcatalog.h"

class MsgStr;

// The exception being handled as a coded text, which each front end says in its language
// (MsgStr::codedText): the program's own exceptions by their number in the message table, a
// send that emptied a song slot with its cause as the reason, the platform's with their codes,
// anything else by its own words. Call only from inside a catch block.
platform::CodedText currentError();

// The text for the exception being handled, as the window's error box would show it (the
// coded text of currentError() in the language of `messages`). Call only from inside a catch
// block.
QString currentErrorText(const MsgStr& messages);

// A short word for the exception being handled that stays the same in every language, for
// scripts (the command-line tool's JSON): "timeout", "keyboard" (the keyboard refused or sent
// what cannot be used), "unknown-keyboard", "not-nvb-file", "type-mismatch", "no-memory",
// "operation", "cancelled", "song-slot-emptied", "not-shown", "unconfirmed" (a change sent
// whose confirmation went unanswered), "busy", "midi", "file", "system" or "unknown". A
// failure said within the program's words about it (platform::CausedError: a change that had
// kept copies) has its cause's word, so a change fails alike whichever command made it. Call
// only from inside a catch block.
QString currentErrorCode();
