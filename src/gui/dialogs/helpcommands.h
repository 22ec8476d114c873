#pragma once

#include <QString>

class QWidget;

// The Help menu's commands: the user manual, shipped with the program and read offline in the
// desktop's browser, and the About box.
namespace help {

// The manual's start page in the window's language (platform::manualPage); empty when it is
// not there.
QString manualPage();

// Opens the manual; false with `error` (in the window's language) when it is missing or the
// desktop could not open it.
bool openManual(QString* error);

// The About box: the program's version and licence, the versions of Qt, RtMidi and each MIDI
// system found, and the one the keyboard (output `outputDevice`) is reached through; a device
// chosen (`storedName`) that is not listed now is named as not connected.
QString aboutText(int outputDevice, const QString& storedName = {});
void showAbout(QWidget* parent, int outputDevice, const QString& storedName);

}  // namespace help
