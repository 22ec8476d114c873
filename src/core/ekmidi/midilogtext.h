#pragma once

#include <QString>

#include "platform/midilog.h"

// How the MIDI log shows a message, the same in the window, in its saved text and on the
// command-line tool's stderr: the time, the direction ("in" from the keyboard, "out" to it),
// the bytes in hexadecimal and what the message is.
namespace midilogtext {

struct Fields {
    QString time;  // local time, HH:mm:ss.zzz
    QString direction;
    QString bytes;
    QString meaning;
};

Fields fieldsOf(const platform::MidiLog::Entry& entry);
// "12:00:00.123 out F0 44 11 01 7F 10 00 0D 00 00 00 F7 | ParamRequest area 0 addr 0 cmd 13 param 0"
QString lineOf(const platform::MidiLog::Entry& entry);

}  // namespace midilogtext
