#pragma once

#include <QString>

class MsgStr;

// The text for the exception being handled, as the window's error box would show it: the
// message table's text for the program's own exceptions, the message itself for the platform's.
// Call only from inside a catch block.
QString currentErrorText(const MsgStr& messages);

// A short word for the exception being handled that stays the same in every language, for
// scripts (the command-line tool's JSON): "timeout", "keyboard" (the keyboard refused or sent
// what cannot be used), "unknown-keyboard", "not-nvb-file", "type-mismatch", "no-memory",
// "operation", "cancelled", "song-slot-emptied", "busy", "midi", "file", "system" or
// "unknown". Call only from inside a catch block.
QString currentErrorCode();
