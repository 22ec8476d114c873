#pragma once

namespace platform {

// Runs this thread's event loop until `done` is true, so that MIDI arrival and completion and
// the answer timer are served while the caller waits (on the command-line tool's main thread,
// on the window's keyboard thread). The flag is set by a handler that runs from inside this
// loop; the call returns as soon as one has. Needs a QCoreApplication.
void waitUntil(const bool& done);

}  // namespace platform
