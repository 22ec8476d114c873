#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// A failure of the operating system or of a platform service, carrying its own message. The
// window shows the message as it is; the program's own failures are EkException instead.
class SystemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure of the MIDI service. The message is "MIDI SYSTEM ERROR: " followed by the service's
// own text, so the user can tell a cabling or driver problem from a keyboard that said no.
class MidiSystemError : public SystemError {
public:
    explicit MidiSystemError(const std::string& serviceText)
        : SystemError("MIDI SYSTEM ERROR: " + serviceText) {}
};

// A failure of a file operation: the message names the file and gives the system's reason.
class FileError : public SystemError {
public:
    FileError(const std::string& action, const std::string& fileName, const std::string& reason)
        : SystemError(action + " \"" + fileName + "\": " + reason) {}
};

}  // namespace platform
