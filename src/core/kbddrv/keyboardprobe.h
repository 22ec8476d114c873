#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <optional>

// Asking a pair of MIDI devices whether an MLS-850 answers on it, only when the user asks (the
// Preference dialog's "Test" and "Find", the command-line tool's find): nothing probes devices
// by itself. Each try holds the device's lock like a command, so a keyboard that another
// program is talking to is never disturbed.
namespace probe {

enum class Answer {
    Mls850,       // the keyboard-kind request was answered with the MLS-850's kind
    OtherKind,    // answered, with another kind
    NoAnswer,     // no answer in time (the request was asked three times)
    Unreadable,   // answered with what cannot be read
    DeviceError,  // the devices could not be opened, or another program holds the keyboard
};

struct Result {
    Answer answer = Answer::NoAnswer;
    int kind = -1;                 // the kind answered
    std::exception_ptr failure;  // the device's error, for DeviceError
};

// Sends the keyboard-kind request on the pair (numbers of the MIDI service's last enumeration)
// and waits for the answer: within about 0.6 s when nothing answers.
Result testPair(int inputDevice, int outputDevice);

struct Pair {
    int input = -1;
    int output = -1;
};

// Tries the pairs of the two lists, those whose names belong together first (the same port
// name, or the same client), and stops at the first that answers as an MLS-850. `tried` hears
// of each pair before it is tried. A device named `skipped` (the built-in software keyboard,
// which always answers) is never tried. Nullopt when none answers.
std::optional<Pair> findKeyboard(const QStringList& inputs, const QStringList& outputs,
                                 const QString& skipped,
                                 const std::function<void(const Pair&)>& tried = {});

// Whether an input and an output name look like the two sides of one device.
bool namesBelongTogether(const QString& input, const QString& output);

}  // namespace probe
