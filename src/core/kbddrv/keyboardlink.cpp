#include "keyboardlink.h"

#include "platform/midiservice.h"

QString keyboardIdentity(const KeyboardLink& link) {
    return platform::MidiService::instance().keyboardIdentity(link.outputDevice);
}
