#pragma once

#include <QString>
#include <memory>

#include "systemerror.h"

namespace platform {

class FileLock;

// The user's own folder for locks: XDG_RUNTIME_DIR, or where that is not set (a session
// without a login manager) a folder of the user's in the temporary folder, or when someone else
// holds that name, one in the user's cache folder. Created if missing, open to no one else.
// Throws SystemError when neither can be had.
QString userRuntimeFolder();

// Another program holds the keyboard: try again later.
class KeyboardBusy : public SystemError {
public:
    using SystemError::SystemError;
};

// One command's hold on the keyboard behind a MIDI output device. A keyboard answers every
// program that listens to it, so two programs talking to it at once would take each other's
// answers (and one program's delete could land between another's reading and writing of the
// same memory). For the length of a command the program holds a lock of that device, per user,
// in the user's runtime folder; a second program is told plainly that the keyboard is busy.
//
// A device that lives in this program alone (a test's) takes no lock; the built-in keyboard's
// lock is that of its memory file, which is what other programs share with it. In-process devices
// (the built-in software keyboard) are told when a command begins and ends: at the beginning the
// built-in keyboard takes up what another program of this user changed, at the end it reports a
// memory it could not keep as the command's failure.
class KeyboardSession {
public:
    // Takes the lock of `outputDevice` (a number of the MIDI service's last enumeration);
    // throws SystemError when another program holds it, or when an in-process device cannot
    // serve (its text).
    explicit KeyboardSession(int outputDevice);
    ~KeyboardSession();
    KeyboardSession(const KeyboardSession&) = delete;
    KeyboardSession& operator=(const KeyboardSession&) = delete;

    // The command's work is done: returns once the device has kept what the command sent it,
    // and throws SystemError when the device itself failed meanwhile (the built-in keyboard
    // could not save its memory). A session that ends without finish() waits the same way.
    void finish();

    // The lock file of a device, by what other programs know it by (MidiService::sharedName;
    // exposed for tests and diagnostics).
    static QString lockPath(const QString& sharedName);

private:
    int outputDevice_;
    bool finished_ = false;
    std::unique_ptr<FileLock> lock_;
};

}  // namespace platform
