#pragma once

#include <QString>

class MsgStr;

// The text for the exception being handled, as the window's error box would show it: the
// message table's text for the program's own exceptions, the message itself for the platform's.
// Call only from inside a catch block.
QString currentErrorText(const MsgStr& messages);
