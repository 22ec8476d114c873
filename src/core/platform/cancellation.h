#pragma once

namespace platform {

// Thrown when the user has stopped the running keyboard command. Not a std::exception and not a
// SystemError, so that no handler of failures takes it for one: it is not an error to show.
class Cancelled {};

// The user's request to stop the running keyboard command (Escape or Cancel in the window,
// Ctrl+C in the command-line tool). The transactions look at it before each message they send,
// so a command stops at the next message boundary: its ports are closed on the way out and
// nothing partial is kept (a send stops without its End message, so the keyboard keeps nothing
// of it; an import writes no file).
class Cancellation {
public:
    // From any thread, or from a signal handler.
    static void request();
    // At the start of a command.
    static void clear();
    static bool isRequested();
    // Throws Cancelled when a stop has been requested.
    static void throwIfRequested();
};

}  // namespace platform
