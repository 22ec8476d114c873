#pragma once

namespace platform {

// Runs the GUI thread's event loop until `done` is true, so that MIDI arrival and completion,
// the answer timer, painting and user input are all served while the caller waits. The flag is
// set by a handler that runs from inside this loop; the call returns as soon as one has.
// Needs a QCoreApplication on this thread.
void waitUntil(const bool& done);

}  // namespace platform
